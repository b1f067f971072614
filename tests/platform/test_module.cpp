#include "tests/platform/test_module.h"

namespace test_module {

int cScale = 7;
float cTable[4] = {1.5f, 2.5f, 3.5f, 4.5f};
int cMissing = 0;
texture<int, 1> texInt1D;
texture<float, 2> texFloat2D;
texture<short, 2> texShort2D;
texture<int, 2> texInt2D;
texture<int, 2> texModes;

namespace {

using emu::argument;
using Ctx = emu::LaunchContext;
using Thread = emu::KernelThread;

template <class T> void put(const Ctx& ctx, std::uint32_t address, std::uint32_t index, T value)
{
    emu::store(ctx, address + index * static_cast<std::uint32_t>(sizeof(T)), &value, sizeof(T));
}
template <class T> T get(const Ctx& ctx, std::uint32_t address, std::uint32_t index)
{
    T value;
    emu::load(ctx, address + index * static_cast<std::uint32_t>(sizeof(T)), &value, sizeof(T));
    return value;
}
std::uint32_t in_block(const Thread& t) { return (t.threadIdx.z * t.blockDim.y + t.threadIdx.y) * t.blockDim.x + t.threadIdx.x; }

template <class T> void fetch(const Ctx& ctx, const Thread& t)
{
    const float x = argument<float>(ctx, 8) + static_cast<float>(t.threadIdx.x);
    const float y = argument<float>(ctx, 12) + static_cast<float>(t.threadIdx.y);
    put(ctx, argument<std::uint32_t>(ctx, 0), t.threadIdx.y * t.blockDim.x + t.threadIdx.x,
        emu::texture_fetch<T>(ctx, argument<int>(ctx, 4), x, y));
}

void count_threads(const Ctx& ctx, const Thread& t)
{
    const std::uint64_t block = (std::uint64_t{t.blockIdx.z} * t.gridDim.y + t.blockIdx.y) * t.gridDim.x + t.blockIdx.x;
    const std::uint64_t index = block * (t.blockDim.x * t.blockDim.y * t.blockDim.z) + in_block(t);
    if (index == 0) {
        const std::uint32_t dims[6] = {t.blockDim.x, t.blockDim.y, t.blockDim.z, t.gridDim.x, t.gridDim.y, t.gridDim.z};
        for (std::uint32_t i = 0; i < 6; ++i) put(ctx, argument<std::uint32_t>(ctx, 8), i, dims[i]);
    }
    if (index >= argument<std::uint32_t>(ctx, 4)) return;
    const auto counts = argument<std::uint32_t>(ctx, 0);
    const auto i = static_cast<std::uint32_t>(index);
    put(ctx, counts, i, get<std::uint32_t>(ctx, counts, i) + 1);
}

void reverse_block(const Ctx& ctx, const Thread& t)
{
    const std::uint32_t n = t.blockDim.x * t.blockDim.y * t.blockDim.z, i = in_block(t), base = t.blockIdx.x * n;
    auto* shared = reinterpret_cast<std::uint32_t*>(emu::shared_memory(ctx));
    shared[i] = get<std::uint32_t>(ctx, argument<std::uint32_t>(ctx, 0), base + i);
    emu::sync_block(ctx);
    put(ctx, argument<std::uint32_t>(ctx, 4), base + i, shared[n - 1 - i]);
}

void rotate_twice(const Ctx& ctx, const Thread& t)
{
    const std::uint32_t n = t.blockDim.x, i = t.threadIdx.x, base = t.blockIdx.x * n;
    auto* shared = reinterpret_cast<std::uint32_t*>(emu::shared_memory(ctx));
    shared[i] = get<std::uint32_t>(ctx, argument<std::uint32_t>(ctx, 0), base + i);
    emu::sync_block(ctx);
    const std::uint32_t next = shared[(i + 1) % n];
    emu::sync_block(ctx);
    shared[i] = next;
    emu::sync_block(ctx);
    put(ctx, argument<std::uint32_t>(ctx, 4), base + i, shared[(i + 1) % n]);
}

void divergent_barrier(const Ctx& ctx, const Thread& t)
{
    if (t.threadIdx.x != 0) emu::sync_block(ctx);
}

void sync_without_barrier(const Ctx& ctx, const Thread&) { emu::sync_block(ctx); }

void store_short_at(const Ctx& ctx, const Thread&)
{
    const auto value = argument<std::int16_t>(ctx, 4);
    emu::store(ctx, argument<std::uint32_t>(ctx, 0), &value, sizeof value);
}

void load_word_at(const Ctx& ctx, const Thread&)
{
    put(ctx, argument<std::uint32_t>(ctx, 4), 0, get<std::uint32_t>(ctx, argument<std::uint32_t>(ctx, 0), 0));
}

void read_constants(const Ctx& ctx, const Thread&)
{
    put(ctx, argument<std::uint32_t>(ctx, 0), 0, emu::constant<std::int32_t>(ctx, 0));
    for (std::uint32_t i = 0; i < 4; ++i) put(ctx, argument<std::uint32_t>(ctx, 0), 1 + i, emu::constant<float>(ctx, 16 + i * 4));
}

// In Kernel order; the last entry is only a name, registered but absent from the image.
const emu::ImageKernel kKernels[kKernelCount] = {
    {"fetchInt", &fetch<std::int32_t>, false, nullptr},
    {"fetchFloat", &fetch<float>, false, nullptr},
    {"fetchShort", &fetch<std::int16_t>, false, nullptr},
    {"countThreads", &count_threads, false, nullptr},
    {"reverseBlock", &reverse_block, true, nullptr},
    {"rotateTwice", &rotate_twice, true, nullptr},
    {"divergentBarrier", &divergent_barrier, true, nullptr},
    {"syncWithoutBarrier", &sync_without_barrier, false, nullptr},
    {"storeShortAt", &store_short_at, false, nullptr},
    {"loadWordAt", &load_word_at, false, nullptr},
    {"readConstants", &read_constants, false, nullptr},
    {"notInTheImage", nullptr, false, nullptr},
};
const emu::ImageConstant kConstants[] = {{"cScale", 0, 4}, {"cTable", 16, 16}};
const emu::ImageTexture kTextures[] = {
    {"texInt1D", 0, 1}, {"texFloat2D", 1, 2}, {"texShort2D", 2, 2}, {"texInt2D", 3, 2}, {"texModes", 4, 2},
};
const char* const kSharedSymbols[] = {"blockScratch"};

const emu::EmulatedImage kImage = {
    {'v', 'a', 'n', 't', 'r', 'e', 'o', '-', 'e', 'm', 'u', '-', 'i', 'm', 'g', '\0'},
    kKernels, kKernelCount - 1, kConstants, 2, 64, kTextures, 5, kSharedSymbols, 1,
};
const __cudaFatCubinEntry kCubins[] = {{"sm_10", &kImage}, {nullptr, nullptr}};
const __cudaFatPtxEntry kPtx[] = {{nullptr, nullptr}};
const __cudaFatCudaBinary kFatBinary = {0x1ee55a01, 4, 0x1ee55a01, "", "test_module.cu", "", kPtx, kCubins, nullptr, nullptr, 0};

char g_entries[kKernelCount];

void register_constant(void** handle, void* shadow, const char* name, int size)
{
    __cudaRegisterVar(handle, static_cast<char*>(shadow), const_cast<char*>(name), name, 0, size, 1, 0);
}

}  // namespace

const void* entry(Kernel kernel) { return &g_entries[kernel]; }

void** register_module()
{
    void** handle = __cudaRegisterFatBinary(const_cast<__cudaFatCudaBinary*>(&kFatBinary));
    for (int k = 0; k < kKernelCount; ++k)
        __cudaRegisterFunction(handle, &g_entries[k], const_cast<char*>(kKernels[k].name), kKernels[k].name, -1,
                               nullptr, nullptr, nullptr, nullptr, nullptr);
    __cudaRegisterShared(handle, reinterpret_cast<void**>(const_cast<char*>("blockScratch")));
    const textureReference* refs[] = {&texInt1D, &texFloat2D, &texShort2D, &texInt2D, &texModes};
    for (int i = 0; i < 5; ++i) __cudaRegisterTexture(handle, refs[i], nullptr, kTextures[i].name, kTextures[i].dims, 0, 0);
    register_constant(handle, &cScale, "cScale", sizeof cScale);
    register_constant(handle, cTable, "cTable", sizeof cTable);
    register_constant(handle, &cMissing, "cMissing", sizeof cMissing);
    return handle;
}

}  // namespace test_module
