// The plug-in's module-wide objects, defined in one place because their construction order at load
// matters: the texture references with their settings, the registration of the device module that
// refers to them, then the module state. Destruction runs in reverse.
#include "device/device_module.h"
#include "plugin/module_state.h"

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

ModuleState module_state;
