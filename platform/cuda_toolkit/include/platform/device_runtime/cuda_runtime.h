// The device runtime header of the CUDA build. Its folder is searched before the project's root, so
// that the filter's `#include "platform/device_runtime/cuda_runtime.h"` finds the toolkit's runtime
// with the legacy interface beside it (platform/cuda_toolkit/legacy_runtime.h) instead of the
// stand-in.
#pragma once

#include "platform/cuda_toolkit/legacy_runtime.h"

// Names current CUDA no longer declares.
using cuda_legacy::__cudaFatCudaBinary;
using cuda_legacy::__cudaRegisterFatBinary;
using cuda_legacy::__cudaRegisterFunction;
using cuda_legacy::__cudaRegisterShared;
using cuda_legacy::__cudaRegisterTexture;
using cuda_legacy::__cudaRegisterVar;
using cuda_legacy::__cudaUnregisterFatBinary;
using cuda_legacy::cudaBindTextureToArray;
using cuda_legacy::cudaConfigureCall;
using cuda_legacy::cudaLaunch;
using cuda_legacy::cudaSetupArgument;
using cuda_legacy::cudaThreadSynchronize;
using cuda_legacy::texture;
using cuda_legacy::textureReference;

// Names current CUDA declares with another meaning (symbols of its own registration; a 2-D array
// for one row) or deprecates: the filter's calls go to the legacy interface.
#define cudaMallocArray cuda_legacy::cudaMallocArray
#define cudaMemcpyToArray cuda_legacy::cudaMemcpyToArray
#define cudaMemcpyToSymbol cuda_legacy::cudaMemcpyToSymbol
#define cudaMemcpyFromSymbol cuda_legacy::cudaMemcpyFromSymbol
