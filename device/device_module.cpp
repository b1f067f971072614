#include "device/device_module.h"

#include "device/kernels/module_image.h"

#define DEFINE_HOST_SHADOW(name, type, room) type name;
MODULE_CONSTANTS(DEFINE_HOST_SHADOW)

cudaChannelFormatDesc start_y_desc;
cudaChannelFormatDesc start_x_desc;
cudaChannelFormatDesc weight_y_desc;
cudaChannelFormatDesc weight_x_desc;
cudaChannelFormatDesc source_desc;
cudaChannelFormatDesc filter_first_desc;
cudaChannelFormatDesc filter_weight_desc;

void** module_handle;

namespace {

template <class... Parameters> const char* host_entry(void (*entry)(Parameters...))
{
    return reinterpret_cast<const char*>(entry);
}

void register_function(const char* entry, const char* symbol)
{
    __cudaRegisterFunction(module_handle, entry, const_cast<char*>(symbol), symbol, -1, nullptr, nullptr, nullptr,
                           nullptr, nullptr);
}

template <class T> void register_constant(T& shadow, const char* name)
{
    __cudaRegisterVar(module_handle, reinterpret_cast<char*>(&shadow), const_cast<char*>(name), name, 0,
                      sizeof shadow, 1, 0);
}

}  // namespace

#define DEFINE_READING_ENTRY(name, symbol) \
    void name() { cudaLaunch(host_entry(name)); }
// The buffers as launch arguments where the device reads them: the input first, the output after it.
#define DEFINE_TAKING_ENTRY(name, symbol, element, shared)                                                 \
    void name(element* input, element* output)                                                             \
    {                                                                                                      \
        if (cudaSetupArgument(&input, sizeof input, 0) != cudaSuccess) return;                             \
        if (cudaSetupArgument(&output, sizeof output, sizeof input) != cudaSuccess) return;                \
        cudaLaunch(host_entry(name));                                                                      \
    }
MODULE_KERNELS(DEFINE_READING_ENTRY, DEFINE_TAKING_ENTRY)

void register_device_module()
{
    module_handle = __cudaRegisterFatBinary(&resample_module_fatbin);
#define REGISTER_READING_KERNEL(name, symbol) register_function(host_entry(name), symbol);
    // The generated code passes the shared symbol's name where the parameter's type says address.
#define REGISTER_TAKING_KERNEL(name, symbol, element, shared) \
    register_function(host_entry(name), symbol);              \
    __cudaRegisterShared(module_handle, reinterpret_cast<void**>(const_cast<char*>(#shared)));
    MODULE_KERNELS(REGISTER_READING_KERNEL, REGISTER_TAKING_KERNEL)
#define REGISTER_TEXTURE(name, element, dimensions) \
    __cudaRegisterTexture(module_handle, &name, nullptr, #name, dimensions, 0, 0);
    MODULE_TEXTURES(REGISTER_TEXTURE)
#define REGISTER_CONSTANT(name, type, room) register_constant(name, #name);
    MODULE_CONSTANTS(REGISTER_CONSTANT)
}

void unregister_device_module() { __cudaUnregisterFatBinary(module_handle); }
