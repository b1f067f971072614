#include <gtest/gtest.h>

#include <vector>

#include "device/device_module.h"
#include "device/lifecycle.h"

namespace {

// The module's second kernel, through its host entry, on every device the runtime lists: each block
// scales elements 0 .. blockDim-1 by blockDim, passing them through block-shared memory between two
// barriers.
TEST(TestKernel, ScalesTheFirstBlockOfElementsByTheBlockSize)
{
    ASSERT_TRUE(start_device());
    int devices = 0;
    ASSERT_EQ(cudaGetDeviceCount(&devices), cudaSuccess);
    constexpr unsigned int kThreads = 64;
    std::vector<float> input(kThreads);
    for (unsigned int i = 0; i < kThreads; ++i) input[i] = 0.5f * static_cast<float>(i) - 3.0f;
    for (int device = 0; device < devices; ++device) {
        ASSERT_EQ(cudaSetDevice(device), cudaSuccess);
        void* device_in = nullptr;
        void* device_out = nullptr;
        ASSERT_EQ(cudaMalloc(&device_in, kThreads * sizeof(float)), cudaSuccess);
        ASSERT_EQ(cudaMalloc(&device_out, kThreads * sizeof(float)), cudaSuccess);
        ASSERT_EQ(cudaMemcpy(device_in, input.data(), kThreads * sizeof(float), cudaMemcpyHostToDevice), cudaSuccess);

        ASSERT_EQ(cudaConfigureCall(dim3(2), dim3(kThreads), kThreads * sizeof(float)), cudaSuccess);
        testKernel(static_cast<float*>(device_in), static_cast<float*>(device_out));
        ASSERT_EQ(cudaThreadSynchronize(), cudaSuccess) << "device " << device;

        std::vector<float> output(kThreads);
        ASSERT_EQ(cudaMemcpy(output.data(), device_out, kThreads * sizeof(float), cudaMemcpyDeviceToHost), cudaSuccess);
        for (unsigned int i = 0; i < kThreads; ++i) EXPECT_EQ(output[i], input[i] * kThreads) << device << ": " << i;
        cudaFree(device_in);
        cudaFree(device_out);
    }
    ASSERT_EQ(cudaSetDevice(0), cudaSuccess);
}

}  // namespace
