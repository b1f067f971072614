// What the OpenCL entry of a module binary points at: the module's kernels as OpenCL C source, and
// how each kernel's OpenCL arguments come from the module's constants, its textures and the launch.
#pragma once

#include <cstdint>

namespace ocl {

enum class ArgumentKind : std::int32_t {
    Constant,        // `size` bytes of the constant bank at `offset`, by value
    ConstantBuffer,  // the constant at `offset` holds the base of a device allocation: that buffer
    Texture,         // texture unit `offset`: the bound array's elements (`size` bytes each), its width, its height
    ArgumentBuffer,  // the launch argument at `offset` holds the base of a device allocation: that buffer
    SharedMemory,    // the launch's dynamic shared memory, as a local buffer
};

struct KernelArgument {
    ArgumentKind kind;
    std::uint32_t offset;
    std::uint32_t size;
};

struct ImageKernel {
    const char* name;   // the name the module registers it under
    const char* entry;  // the OpenCL kernel function
    const KernelArgument* arguments;
    int argument_count;
};

struct Image {
    char magic[16];  // kImageMagic
    const char* source;
    const ImageKernel* kernels;
    int kernel_count;
};
constexpr char kImageMagic[16] = "vantreo-ocl-img";

}  // namespace ocl
