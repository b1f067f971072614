// The device module's host-side objects: the texture references with their settings, then the
// registration of the module that refers to them. Included once by each front end's module objects,
// before its own state, so that in each module the registration outlives the device resources that
// state frees when it is destroyed.
#include "device/device_module.h"

texture<int, 1, cudaReadModeElementType> gTextureStartY(0, cudaFilterModePoint, cudaAddressModeClamp);
texture<int, 1, cudaReadModeElementType> gTextureStartX(0, cudaFilterModePoint, cudaAddressModeClamp);
texture<float, 1, cudaReadModeElementType> gTextureWeightY(0, cudaFilterModePoint, cudaAddressModeClamp);
texture<float, 1, cudaReadModeElementType> gTextureWeightX(0, cudaFilterModePoint, cudaAddressModeClamp);
texture<short, 2, cudaReadModeElementType> gTextureSrc(0, cudaFilterModePoint, cudaAddressModeClamp);
texture<int, 1, cudaReadModeElementType> gTextureFilterFirstY(0, cudaFilterModePoint, cudaAddressModeClamp);
texture<int, 1, cudaReadModeElementType> gTextureFilterFirstX(0, cudaFilterModePoint, cudaAddressModeClamp);
texture<short, 1, cudaReadModeElementType> gTextureFilterWeightY(0, cudaFilterModePoint, cudaAddressModeClamp);
texture<short, 1, cudaReadModeElementType> gTextureFilterWeightX(0, cudaFilterModePoint, cudaAddressModeClamp);

namespace {

struct DeviceModuleRegistration {
    DeviceModuleRegistration() { register_device_module(); }
    ~DeviceModuleRegistration() { unregister_device_module(); }
    DeviceModuleRegistration(const DeviceModuleRegistration&) = delete;
    DeviceModuleRegistration& operator=(const DeviceModuleRegistration&) = delete;
};
const DeviceModuleRegistration device_module_registration;

}  // namespace
