// The OpenCL image of the device module: the OpenCL edge's source (kernels.cl, embedded by the
// build) and the arguments each of its kernels takes, in the order of its parameters there.
#include <iterator>
#include <type_traits>

#include "device/kernels/module_image.h"
#include "device/kernels/module_layout.h"

extern const char resample_kernels_opencl_source[];

namespace {

using ocl::ArgumentKind;

// A constant by value; the destination pointer as the device buffer it holds.
template <class Type> constexpr ocl::KernelArgument constant_argument(std::uint32_t offset)
{
    return {std::is_pointer<Type>::value ? ArgumentKind::ConstantBuffer : ArgumentKind::Constant, offset,
            sizeof(Type)};
}

#define CONSTANT_ARGUMENT(name) constant_argument<name##_type>(kOffset_##name),
#define TEXTURE_ARGUMENT(name) ocl::KernelArgument{ArgumentKind::Texture, kUnit_##name, sizeof(name##_element)},
#define READING_ARGUMENTS(name, symbol) \
    const ocl::KernelArgument name##_arguments[] = {name##_READS(CONSTANT_ARGUMENT, TEXTURE_ARGUMENT)};
// The two buffers, then the block's shared memory.
#define TAKING_ARGUMENTS(name, symbol, element, shared)                                                  \
    const ocl::KernelArgument name##_arguments[] = {                                                     \
        {ArgumentKind::ArgumentBuffer, 0, sizeof(element*)},                                             \
        {ArgumentKind::ArgumentBuffer, sizeof(element*), sizeof(element*)},                              \
        {ArgumentKind::SharedMemory, 0, 0},                                                              \
    };
MODULE_KERNELS(READING_ARGUMENTS, TAKING_ARGUMENTS)

#define IMAGE_KERNEL(name, symbol) {symbol, #name, name##_arguments, static_cast<int>(std::size(name##_arguments))},
#define IMAGE_TAKING_KERNEL(name, symbol, element, shared) IMAGE_KERNEL(name, symbol)
const ocl::ImageKernel kKernels[] = {MODULE_KERNELS(IMAGE_KERNEL, IMAGE_TAKING_KERNEL)};

}  // namespace

const ocl::Image resample_opencl_image = {"vantreo-ocl-img", resample_kernels_opencl_source, kKernels,
                                          static_cast<int>(std::size(kKernels))};
