#include "device/device_module.h"

#include "device/template/module_image.h"

std::int32_t gcUnitNumX;
std::int32_t gcUnitNumY;
std::int32_t gcThreadNum;
std::int32_t gcDestWidth;
std::int32_t gcMaxWidth;
PIXEL_YC* pgcGpuDestPixels;
std::int32_t gcFilterTapsX;
std::int32_t gcFilterTapsY;
std::int32_t gcFilterBitsX;
std::int32_t gcFilterBitsY;

cudaChannelFormatDesc start_y_desc;
cudaChannelFormatDesc start_x_desc;
cudaChannelFormatDesc weight_y_desc;
cudaChannelFormatDesc weight_x_desc;
cudaChannelFormatDesc source_desc;
cudaChannelFormatDesc filter_first_desc;
cudaChannelFormatDesc filter_weight_desc;

void** module_handle;

namespace {

const char* host_entry(void (*entry)()) { return reinterpret_cast<const char*>(entry); }
const char* host_entry(void (*entry)(float*, float*)) { return reinterpret_cast<const char*>(entry); }

void register_constant(std::int32_t& shadow, const char* name)
{
    __cudaRegisterVar(module_handle, reinterpret_cast<char*>(&shadow), const_cast<char*>(name), name, 0,
                      sizeof shadow, 1, 0);
}

}  // namespace

void calcDestPixelsKernel() { cudaLaunch(host_entry(calcDestPixelsKernel)); }

void calcFilterPixelsKernel() { cudaLaunch(host_entry(calcFilterPixelsKernel)); }

void testKernel(float* g_idata, float* g_odata)
{
    if (cudaSetupArgument(&g_idata, sizeof g_idata, 0) != cudaSuccess) return;
    if (cudaSetupArgument(&g_odata, sizeof g_odata, sizeof g_idata) != cudaSuccess) return;
    cudaLaunch(host_entry(testKernel));
}

void register_device_module()
{
    module_handle = __cudaRegisterFatBinary(&resample_module_fatbin);
    __cudaRegisterFunction(module_handle, host_entry(calcDestPixelsKernel),
                           const_cast<char*>("__globfunc__Z20calcDestPixelsKernelv"),
                           "__globfunc__Z20calcDestPixelsKernelv", -1, nullptr, nullptr, nullptr, nullptr, nullptr);
    __cudaRegisterFunction(module_handle, host_entry(calcFilterPixelsKernel),
                           const_cast<char*>("__globfunc__Z22calcFilterPixelsKernelv"),
                           "__globfunc__Z22calcFilterPixelsKernelv", -1, nullptr, nullptr, nullptr, nullptr, nullptr);
    __cudaRegisterFunction(module_handle, host_entry(testKernel), const_cast<char*>("__globfunc__Z10testKernelPfS_"),
                           "__globfunc__Z10testKernelPfS_", -1, nullptr, nullptr, nullptr, nullptr, nullptr);
    // The generated code passes the shared symbol's name where the parameter's type says address.
    __cudaRegisterShared(module_handle, reinterpret_cast<void**>(const_cast<char*>("sdata")));
    __cudaRegisterTexture(module_handle, &gTextureStartY, nullptr, "gTextureStartY", 1, 0, 0);
    __cudaRegisterTexture(module_handle, &gTextureStartX, nullptr, "gTextureStartX", 1, 0, 0);
    __cudaRegisterTexture(module_handle, &gTextureWeightY, nullptr, "gTextureWeightY", 1, 0, 0);
    __cudaRegisterTexture(module_handle, &gTextureWeightX, nullptr, "gTextureWeightX", 1, 0, 0);
    __cudaRegisterTexture(module_handle, &gTextureSrc, nullptr, "gTextureSrc", 2, 0, 0);
    __cudaRegisterTexture(module_handle, &gTextureFilterFirstY, nullptr, "gTextureFilterFirstY", 1, 0, 0);
    __cudaRegisterTexture(module_handle, &gTextureFilterFirstX, nullptr, "gTextureFilterFirstX", 1, 0, 0);
    __cudaRegisterTexture(module_handle, &gTextureFilterWeightY, nullptr, "gTextureFilterWeightY", 1, 0, 0);
    __cudaRegisterTexture(module_handle, &gTextureFilterWeightX, nullptr, "gTextureFilterWeightX", 1, 0, 0);
    register_constant(gcUnitNumX, "gcUnitNumX");
    register_constant(gcUnitNumY, "gcUnitNumY");
    register_constant(gcThreadNum, "gcThreadNum");
    register_constant(gcDestWidth, "gcDestWidth");
    register_constant(gcMaxWidth, "gcMaxWidth");
    register_constant(gcFilterTapsX, "gcFilterTapsX");
    register_constant(gcFilterTapsY, "gcFilterTapsY");
    register_constant(gcFilterBitsX, "gcFilterBitsX");
    register_constant(gcFilterBitsY, "gcFilterBitsY");
    __cudaRegisterVar(module_handle, reinterpret_cast<char*>(&pgcGpuDestPixels), const_cast<char*>("pgcGpuDestPixels"),
                      "pgcGpuDestPixels", 0, sizeof pgcGpuDestPixels, 1, 0);
}

void unregister_device_module() { __cudaUnregisterFatBinary(module_handle); }
