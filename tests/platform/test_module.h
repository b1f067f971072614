// A small emulated module for the device runtime tests, registered the way the device compiler's
// generated host code does it, plus helpers to allocate, copy and launch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "platform/device_runtime/cuda_runtime.h"
#include "platform/device_runtime/emulated_controls.h"
#include "platform/device_runtime/emulated_device.h"

namespace test_module {

enum Kernel {
    kFetchInt,            // (out, unit, x0, y0): out[ty * bx + tx] = fetch(unit, x0 + tx, y0 + ty)
    kFetchFloat,
    kFetchShort,
    kCountThreads,        // (counts, n, dims): ++counts[global index] below n; index 0 writes blockDim, gridDim
    kReverseBlock,        // barrier (in, out): out[i] = in[mirror of i within its block]
    kRotateTwice,         // barrier (in, out): out[i] = in[(i + 2) mod block size], same block
    kDivergentBarrier,    // barrier kernel whose thread 0 skips the barrier the others wait at
    kSyncWithoutBarrier,  // waits at a barrier but is not registered as using one
    kStoreShortAt,        // (address, value)
    kLoadWordAt,          // (address, out): copies 4 bytes
    kReadConstants,       // (out): out[0] = cScale, out[1..4] = cTable
    kUnknownToImage,      // registered under a name the image lacks
    kKernelCount
};
const void* entry(Kernel kernel);

extern int cScale;
extern float cTable[4];
extern int cMissing;  // registered under a name the image lacks

// On units 0..4 in this order.
extern texture<int, 1> texInt1D;
extern texture<float, 2> texFloat2D;
extern texture<short, 2> texShort2D;
extern texture<int, 2> texInt2D;
extern texture<int, 2> texModes;

void** register_module();

class DeviceBuffer {
public:
    explicit DeviceBuffer(std::size_t bytes) : bytes_(bytes) { EXPECT_EQ(cudaMalloc(&pointer_, bytes), cudaSuccess); }
    ~DeviceBuffer() { cudaFree(pointer_); }
    DeviceBuffer(const DeviceBuffer&) = delete;
    DeviceBuffer& operator=(const DeviceBuffer&) = delete;

    void* get() const { return pointer_; }
    char* at(std::ptrdiff_t offset) const { return static_cast<char*>(pointer_) + offset; }
    std::uint32_t address() const { return emu::to_device_address(pointer_); }
    std::size_t bytes() const { return bytes_; }
    template <class T> void upload(const std::vector<T>& values)
    {
        ASSERT_EQ(cudaMemcpy(pointer_, values.data(), values.size() * sizeof(T), cudaMemcpyHostToDevice), cudaSuccess);
    }
    template <class T> std::vector<T> download() const
    {
        std::vector<T> values(bytes_ / sizeof(T));
        EXPECT_EQ(cudaMemcpy(values.data(), pointer_, values.size() * sizeof(T), cudaMemcpyDeviceToHost), cudaSuccess);
        return values;
    }

private:
    void* pointer_ = nullptr;
    std::size_t bytes_;
};

// Configures, sets up each argument at its aligned offset, launches.
class Launch {
public:
    Launch(dim3 grid, dim3 block, std::size_t shared_bytes = 0) : grid_(grid), block_(block), shared_(shared_bytes) {}
    template <class T> Launch& arg(T value)
    {
        const std::size_t offset = (bytes_.size() + alignof(T) - 1) / alignof(T) * alignof(T);
        bytes_.resize(offset + sizeof(T));
        std::memcpy(bytes_.data() + offset, &value, sizeof(T));
        pieces_.push_back({offset, sizeof(T)});
        return *this;
    }
    cudaError_t run(Kernel kernel) const
    {
        if (cudaError_t e = cudaConfigureCall(grid_, block_, shared_)) return e;
        for (const auto& [offset, size] : pieces_)
            if (cudaError_t e = cudaSetupArgument(bytes_.data() + offset, size, offset)) return e;
        return cudaLaunch(entry(kernel));
    }

private:
    dim3 grid_, block_;
    std::size_t shared_;
    std::vector<unsigned char> bytes_;
    std::vector<std::pair<std::size_t, std::size_t>> pieces_;
};

// A fresh registration per test: a zeroed constant bank, no texture bindings and no failures pending.
class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
        handle_ = register_module();
    }
    void TearDown() override
    {
        emu::clear_failures();
        __cudaUnregisterFatBinary(handle_);
        cudaGetLastError();
    }
    void** handle_ = nullptr;
};

}  // namespace test_module
