// Device memory, arrays, texture fetches and constant symbols of the stand-in device runtime, and
// failures injected into the calls that allocate, copy and bind.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "tests/platform/test_module.h"

using namespace test_module;

namespace {

struct Array {
    cudaArray* array = nullptr;
    template <class T> static Array of(std::size_t width, std::size_t height, const std::vector<T>& contents = {})
    {
        Array a;
        const cudaChannelFormatDesc desc = cudaCreateChannelDesc<T>();
        EXPECT_EQ(cudaMallocArray(&a.array, &desc, width, height), cudaSuccess);
        if (!contents.empty()) {
            EXPECT_EQ(cudaMemcpyToArray(a.array, 0, 0, contents.data(), contents.size() * sizeof(T), cudaMemcpyHostToDevice),
                      cudaSuccess);
        }
        return a;
    }
    Array() = default;
    Array(Array&& other) noexcept : array(other.array) { other.array = nullptr; }
    ~Array() { cudaFreeArray(array); }
};

template <class T> cudaError_t bind(const texture<T, 1>& ref, const Array& a)
{
    const cudaChannelFormatDesc desc = cudaCreateChannelDesc<T>();
    return cudaBindTextureToArray(&ref, a.array, &desc);
}
template <class T> cudaError_t bind(const texture<T, 2>& ref, const Array& a)
{
    const cudaChannelFormatDesc desc = cudaCreateChannelDesc<T>();
    return cudaBindTextureToArray(&ref, a.array, &desc);
}

// A w x h block of texels from (x0, y0) on, read by a fetch kernel.
template <class T> std::vector<T> fetch_block(int unit, float x0, float y0, unsigned w, unsigned h)
{
    const Kernel kernel = std::is_same<T, float>::value ? kFetchFloat : sizeof(T) == 4 ? kFetchInt : kFetchShort;
    DeviceBuffer out(sizeof(T) * w * h);
    EXPECT_EQ(Launch(dim3(1), dim3(w, h)).arg(out.address()).arg(unit).arg(x0).arg(y0).run(kernel), cudaSuccess);
    return out.download<T>();
}
std::vector<int> texInt2D_contents(unsigned w, unsigned h) { return fetch_block<int>(3, 0.0f, 0.0f, w, h); }

std::vector<int> iota(int n, int first = 0)
{
    std::vector<int> v(n);
    for (int i = 0; i < n; ++i) v[i] = first + i;
    return v;
}

}  // namespace

// ---- device memory -------------------------------------------------------------------------------

TEST(DeviceMemory, AddressesAreSmallNonZeroAndKeptApart)
{
    DeviceBuffer a(100), b(100);
    const auto va = reinterpret_cast<std::uintptr_t>(a.get()), vb = reinterpret_cast<std::uintptr_t>(b.get());
    EXPECT_NE(va, 0u);
    EXPECT_LE(std::max(va, vb), 0xFFFFFFFFu);
    EXPECT_GE(va < vb ? vb - (va + 100) : va - (vb + 100), 4096u) << "an overrun could land in the neighbour";

    void* freed = nullptr;
    ASSERT_EQ(cudaMalloc(&freed, 100), cudaSuccess);
    ASSERT_EQ(cudaFree(freed), cudaSuccess);
    DeviceBuffer next(100);
    EXPECT_NE(next.get(), freed) << "a just-freed range is not handed out again at once";
}

TEST(DeviceMemory, NewMemoryIsNeverZeroFilled)
{
    {
        DeviceBuffer first(4096);
        ASSERT_EQ(cudaMemset(first.get(), 0, first.bytes()), cudaSuccess);
    }
    for (std::size_t bytes : {1, 7, 4096}) {
        const std::vector<unsigned char> got = DeviceBuffer(bytes).download<unsigned char>();
        EXPECT_EQ(std::count(got.begin(), got.end(), 0), 0) << bytes << " bytes";
    }
}

TEST(DeviceMemory, CopiesAndSetsWithinAnAllocation)
{
    DeviceBuffer a(64), b(64);
    std::vector<unsigned char> expected(64);
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<unsigned char>(i + 1);
    a.upload(expected);
    ASSERT_EQ(cudaMemset(a.at(8), 0xAB, 4), cudaSuccess);
    ASSERT_EQ(cudaMemcpy(b.get(), a.get(), 64, cudaMemcpyDeviceToDevice), cudaSuccess);
    ASSERT_EQ(cudaMemcpy(b.at(60), a.get(), 4, cudaMemcpyDeviceToDevice), cudaSuccess);
    std::fill(expected.begin() + 8, expected.begin() + 12, 0xAB);
    std::copy(expected.begin(), expected.begin() + 4, expected.begin() + 60);
    EXPECT_EQ(b.download<unsigned char>(), expected);
}

// Copies of several megabytes are shared out over host threads: every byte arrives, the last
// partial megabyte included, and nothing past the range.
// A copy of over a megabyte, shared out over the runtime's host threads, there and back: whether it
// arrives whole and leaves the bytes past it as they were.
namespace {
bool large_round_trip_arrives_whole()
{
    const std::size_t bytes = (std::size_t{5} << 20) + 3;
    std::vector<unsigned char> expected(bytes);
    for (std::size_t i = 0; i < bytes; ++i) expected[i] = static_cast<unsigned char>(i * 7 + i / 4099);
    DeviceBuffer a(bytes + 16);
    if (cudaMemset(a.get(), 0x5A, bytes + 16) != cudaSuccess ||
        cudaMemcpy(a.get(), expected.data(), bytes, cudaMemcpyHostToDevice) != cudaSuccess)
        return false;
    std::vector<unsigned char> back(bytes + 16, 0);
    if (cudaMemcpy(back.data(), a.get(), bytes + 16, cudaMemcpyDeviceToHost) != cudaSuccess) return false;
    expected.resize(bytes + 16, 0x5A);
    return back == expected;
}
}  // namespace

TEST(DeviceMemory, LargeCopiesArriveWhole) { EXPECT_TRUE(large_round_trip_arrives_whole()); }

#if !defined(_WIN32)
// The runtime keeps its host threads between copies; a child forked from a process that has them
// has none, and its copies must still finish (a hang is ended by the alarm).
TEST(DeviceMemory, ForkedChildCopiesWithoutTheParentsThreads)
{
    ASSERT_TRUE(large_round_trip_arrives_whole());
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        alarm(30);
        _exit(large_round_trip_arrives_whole() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}
#endif

TEST(DeviceMemory, RangesOutsideOneLiveAllocationAreRejected)
{
    DeviceBuffer a(64);
    const std::vector<unsigned char> pattern(64, 0x11);
    a.upload(pattern);
    std::vector<unsigned char> host(65, 0x22);
    void* freed = nullptr;
    ASSERT_EQ(cudaMalloc(&freed, 64), cudaSuccess);
    ASSERT_EQ(cudaFree(freed), cudaSuccess);

    EXPECT_EQ(cudaMemcpy(a.at(60), host.data(), 8, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpy(a.get(), host.data(), 65, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpy(host.data(), a.at(1), 64, cudaMemcpyDeviceToHost), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpy(a.at(32), a.get(), 40, cudaMemcpyDeviceToDevice), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemset(a.at(63), 0, 2), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpy(a.at(-4), host.data(), 8, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpy(host.data(), host.data() + 8, 8, cudaMemcpyDeviceToHost), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpy(nullptr, host.data(), 8, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpy(freed, host.data(), 8, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
    EXPECT_EQ(a.download<unsigned char>(), pattern);
    EXPECT_EQ(host, std::vector<unsigned char>(65, 0x22));

    // Only allocation bases of live allocations can be freed.
    EXPECT_EQ(cudaFree(nullptr), cudaSuccess);
    EXPECT_EQ(cudaFree(a.at(4)), cudaErrorInvalidDevicePointer);
    EXPECT_EQ(cudaFree(freed), cudaErrorInvalidDevicePointer);
    EXPECT_EQ(cudaFree(host.data()), cudaErrorInvalidDevicePointer);
    // The last error is the latest failure; reading it clears it.
    EXPECT_EQ(cudaGetLastError(), cudaErrorInvalidDevicePointer);
    EXPECT_EQ(cudaGetLastError(), cudaSuccess);
}

TEST(DeviceMemory, RequestsBeyondTheDeviceFail)
{
    cudaDeviceProp prop{};
    ASSERT_EQ(cudaGetDeviceProperties(&prop, 0), cudaSuccess);
    void* p = &prop;
    EXPECT_EQ(cudaMalloc(&p, prop.totalGlobalMem + 1), cudaErrorMemoryAllocation);
    EXPECT_EQ(p, &prop);
    cudaArray* array = nullptr;
    const cudaChannelFormatDesc desc = cudaCreateChannelDesc<int>();
    EXPECT_EQ(cudaMallocArray(&array, &desc, 1u << 20, 1u << 20), cudaErrorMemoryAllocation);
    EXPECT_EQ(cudaMallocArray(&array, &desc, 0, 1), cudaErrorInvalidValue);
    const cudaChannelFormatDesc odd = cudaCreateChannelDesc(12, 0, 0, 0, cudaChannelFormatKindSigned);
    EXPECT_EQ(cudaMallocArray(&array, &odd, 4, 1), cudaErrorInvalidChannelDescriptor);
    cudaGetLastError();
}

// ---- arrays and texture fetches ------------------------------------------------------------------

class Textures : public ModuleTest {};

TEST_F(Textures, OneDimensionalFetchesClampPastBothEnds)
{
    const Array a = Array::of<int>(5, 1, {10, 11, 12, 13, 14});
    ASSERT_EQ(bind(texInt1D, a), cudaSuccess);
    // Coordinates -3.5, -2.5, ..., 7.5: the element at the integer part, the end elements outside.
    EXPECT_EQ(fetch_block<int>(0, -3.5f, 0.0f, 12, 1), (std::vector<int>{10, 10, 10, 10, 10, 11, 12, 13, 14, 14, 14, 14}));
}

TEST_F(Textures, TwoDimensionalFetchesClampEachAxis)
{
    // 3 x 2 arrays; the fetched block spans columns -2.5 .. 3.5 and rows -1.75 .. 3.25.
    const Array floats = Array::of<float>(3, 2, std::vector<float>{0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f});
    const Array shorts = Array::of<short>(3, 2, std::vector<short>{-1, -2, -3, -4, -5, -6});
    ASSERT_EQ(bind(texFloat2D, floats), cudaSuccess);
    ASSERT_EQ(bind(texShort2D, shorts), cudaSuccess);
    const std::vector<int> columns = {0, 0, 0, 0, 1, 2, 2};  // for -2.5, -1.5, -0.5, 0.5, 1.5, 2.5, 3.5
    const std::vector<int> rows = {0, 0, 0, 1, 1, 1};        // for -1.75, -0.75, 0.25, 1.25, 2.25, 3.25
    const std::vector<float> f = fetch_block<float>(1, -2.5f, -1.75f, 7, 6);
    const std::vector<short> s = fetch_block<short>(2, -2.5f, -1.75f, 7, 6);
    for (unsigned y = 0; y < 6; ++y)
        for (unsigned x = 0; x < 7; ++x) {
            const int element = rows[y] * 3 + columns[x];
            EXPECT_EQ(f[y * 7 + x], 0.5f + static_cast<float>(element)) << x << "," << y;
            EXPECT_EQ(s[y * 7 + x], -1 - element) << x << "," << y;
        }
}

TEST_F(Textures, CopyToArrayContinuesOnTheFollowingRows)
{
    std::vector<int> expected = iota(15);
    const Array a = Array::of<int>(5, 3, expected);  // itself a three-row copy
    ASSERT_EQ(bind(texInt2D, a), cudaSuccess);
    EXPECT_EQ(texInt2D_contents(5, 3), expected);

    // Eight elements from (3, 0): the rest of row 0, all of row 1, the first of row 2.
    const std::vector<int> update = iota(8, 100);
    ASSERT_EQ(cudaMemcpyToArray(a.array, 3, 0, update.data(), 32, cudaMemcpyHostToDevice), cudaSuccess);
    std::copy(update.begin(), update.end(), expected.begin() + 3);
    DeviceBuffer source(12);
    source.upload(std::vector<int>{-1, -2, -3});
    ASSERT_EQ(cudaMemcpyToArray(a.array, 4, 1, source.get(), 12, cudaMemcpyDeviceToDevice), cudaSuccess);
    std::copy_n(std::vector<int>{-1, -2, -3}.begin(), 3, expected.begin() + 9);
    EXPECT_EQ(texInt2D_contents(5, 3), expected);

    // Past the end, offsets outside the array, a wrong direction, a bad device source: nothing changes.
    EXPECT_EQ(cudaMemcpyToArray(a.array, 3, 2, update.data(), 12, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpyToArray(a.array, 0, 0, update.data(), 61, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpyToArray(a.array, 5, 0, update.data(), 4, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpyToArray(a.array, 0, 3, update.data(), 4, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpyToArray(a.array, 0, 0, update.data(), 4, cudaMemcpyDeviceToHost), cudaErrorInvalidMemcpyDirection);
    EXPECT_EQ(cudaMemcpyToArray(a.array, 0, 0, source.at(4), 12, cudaMemcpyDeviceToDevice), cudaErrorInvalidValue);
    EXPECT_EQ(texInt2D_contents(5, 3), expected);
}

TEST_F(Textures, TwoDimensionalCopyHonoursPitchAndBounds)
{
    std::vector<int> expected(16, -1);
    const Array a = Array::of<int>(4, 4, expected);
    ASSERT_EQ(bind(texInt2D, a), cudaSuccess);
    // Two rows of three, six elements apart in the source, into (1, 1); then one row of two from
    // device memory into (0, 3).
    const std::vector<int> source = {1, 2, 3, 90, 91, 92, 4, 5, 6, 93, 94, 95};
    ASSERT_EQ(cudaMemcpy2DToArray(a.array, 1, 1, source.data(), 24, 12, 2, cudaMemcpyHostToDevice), cudaSuccess);
    DeviceBuffer device_source(48);
    device_source.upload(source);
    ASSERT_EQ(cudaMemcpy2DToArray(a.array, 0, 3, device_source.get(), 24, 8, 1, cudaMemcpyDeviceToDevice), cudaSuccess);
    for (int i = 0; i < 3; ++i) {
        expected[5 + i] = source[i];
        expected[9 + i] = source[6 + i];
    }
    expected[12] = 1;
    expected[13] = 2;
    EXPECT_EQ(texInt2D_contents(4, 4), expected);

    // Rows wider than what is left of the row, too many rows, a pitch shorter than a row, a device
    // source whose last row runs past its allocation.
    EXPECT_EQ(cudaMemcpy2DToArray(a.array, 2, 0, source.data(), 24, 12, 1, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpy2DToArray(a.array, 0, 3, source.data(), 24, 12, 2, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpy2DToArray(a.array, 0, 0, source.data(), 8, 12, 2, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpy2DToArray(a.array, 0, 0, device_source.get(), 24, 12, 3, cudaMemcpyDeviceToDevice),
              cudaErrorInvalidValue);
    EXPECT_EQ(texInt2D_contents(4, 4), expected);
}

TEST_F(Textures, NewArraysAreNotZeroFilledAndHeightZeroMeansOneRow)
{
    const Array a = Array::of<int>(6, 0);
    ASSERT_EQ(bind(texInt1D, a), cudaSuccess);
    for (int value : fetch_block<int>(0, 0.0f, 0.0f, 6, 1)) EXPECT_NE(value, 0);
    const std::vector<int> row(7, 0);
    EXPECT_EQ(cudaMemcpyToArray(a.array, 0, 0, row.data(), 24, cudaMemcpyHostToDevice), cudaSuccess);
    EXPECT_EQ(cudaMemcpyToArray(a.array, 0, 0, row.data(), 28, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
}

TEST_F(Textures, BindingChecksTheReferenceTheArrayAndTheFormat)
{
    const Array ints = Array::of<int>(2, 1, iota(2, 1));
    const Array other = Array::of<int>(2, 1, iota(2, 3));
    const cudaChannelFormatDesc int_desc = cudaCreateChannelDesc<int>(), float_desc = cudaCreateChannelDesc<float>();
    const texture<int, 2> unregistered;
    EXPECT_EQ(cudaBindTextureToArray(&unregistered, ints.array, &int_desc), cudaErrorInvalidTexture);
    EXPECT_EQ(cudaBindTextureToArray(&texInt2D, ints.array, &float_desc), cudaErrorInvalidChannelDescriptor);
    // A float reference over an int array would reinterpret the elements.
    EXPECT_EQ(cudaBindTextureToArray(&texFloat2D, ints.array, &int_desc), cudaErrorInvalidChannelDescriptor);
    cudaArray* freed = nullptr;
    ASSERT_EQ(cudaMallocArray(&freed, &int_desc, 4, 2), cudaSuccess);
    ASSERT_EQ(cudaFreeArray(freed), cudaSuccess);
    EXPECT_EQ(cudaFreeArray(freed), cudaErrorInvalidResourceHandle);
    EXPECT_EQ(cudaBindTextureToArray(&texInt2D, freed, &int_desc), cudaErrorInvalidResourceHandle);

    // A binding lasts until the reference is rebound.
    ASSERT_EQ(bind(texInt1D, ints), cudaSuccess);
    EXPECT_EQ(fetch_block<int>(0, 0.0f, 0.0f, 2, 1), iota(2, 1));
    ASSERT_EQ(bind(texInt1D, other), cudaSuccess);
    EXPECT_EQ(fetch_block<int>(0, 0.0f, 0.0f, 2, 1), iota(2, 3));

    __cudaUnregisterFatBinary(handle_);
    EXPECT_EQ(bind(texInt1D, ints), cudaErrorInvalidTexture);
    handle_ = register_module();
}

TEST_F(Textures, FetchFromAFreedArrayFaults)
{
    EXPECT_DEATH(
        {
            Array a = Array::of<int>(4, 1);
            bind(texInt1D, a);
            cudaFreeArray(a.array);
            fetch_block<int>(0, 0.0f, 0.0f, 1, 1);
        },
        "device fault in kernel fetchInt: fetch from a texture unit with no matching array bound");
}

TEST_F(Textures, UnsupportedSamplingModesFaultAtLaunch)
{
    const Array a = Array::of<int>(4, 4);
    ASSERT_EQ(bind(texModes, a), cudaSuccess);
    texModes.normalized = 1;
    EXPECT_DEATH(fetch_block<int>(4, 0.0f, 0.0f, 1, 1),
                 "device fault in kernel fetchInt: texture texModes asks for normalised coordinates");
    texModes.normalized = 0;
    texModes.filterMode = cudaFilterModeLinear;
    EXPECT_DEATH(fetch_block<int>(4, 0.0f, 0.0f, 1, 1), "texModes asks for a filter mode other than point sampling");
    texModes.filterMode = cudaFilterModePoint;
    texModes.addressMode[1] = cudaAddressModeWrap;
    EXPECT_DEATH(fetch_block<int>(4, 0.0f, 0.0f, 1, 1), "texModes asks for an address mode other than clamping");
    texModes.addressMode[1] = cudaAddressModeClamp;
}

// ---- constant symbols ----------------------------------------------------------------------------

class Symbols : public ModuleTest {};

TEST_F(Symbols, RoundTripThroughTheBankLeavesTheShadowAlone)
{
    const int scale = 42;
    const float pair[2] = {-8.5f, 9.25f};
    ASSERT_EQ(cudaMemcpyToSymbol(&cScale, &scale, sizeof scale), cudaSuccess);
    ASSERT_EQ(cudaMemcpyToSymbol(cTable, pair, sizeof pair, 2 * sizeof(float)), cudaSuccess);

    int scale_back = 0;
    float table_back[4] = {-1, -1, -1, -1};
    float tail = 0.0f;
    ASSERT_EQ(cudaMemcpyFromSymbol(&scale_back, &cScale, sizeof scale_back), cudaSuccess);
    ASSERT_EQ(cudaMemcpyFromSymbol(table_back, cTable, sizeof table_back), cudaSuccess);
    ASSERT_EQ(cudaMemcpyFromSymbol(&tail, cTable, sizeof tail, 3 * sizeof(float)), cudaSuccess);
    EXPECT_EQ(scale_back, 42);
    EXPECT_EQ(std::vector<float>(table_back, table_back + 4), (std::vector<float>{0.0f, 0.0f, -8.5f, 9.25f}))
        << "the bank starts zeroed";
    EXPECT_EQ(tail, 9.25f);
    EXPECT_EQ(cScale, 7);
    EXPECT_EQ(std::vector<float>(cTable, cTable + 4), (std::vector<float>{1.5f, 2.5f, 3.5f, 4.5f}));

    // Kernels read the same bank; device memory can be either end of a copy.
    DeviceBuffer out(20), back(16);
    ASSERT_EQ(Launch(dim3(1), dim3(1)).arg(out.address()).run(kReadConstants), cudaSuccess);
    const std::vector<float> words = out.download<float>();
    int scale_seen = 0;
    std::memcpy(&scale_seen, words.data(), sizeof scale_seen);
    EXPECT_EQ(scale_seen, 42);
    EXPECT_EQ(std::vector<float>(words.begin() + 1, words.end()), (std::vector<float>{0.0f, 0.0f, -8.5f, 9.25f}));
    ASSERT_EQ(cudaMemcpyToSymbol(cTable, out.at(4), 16, 0, cudaMemcpyDeviceToDevice), cudaSuccess);
    ASSERT_EQ(cudaMemcpyFromSymbol(back.get(), cTable, 16, 0, cudaMemcpyDeviceToDevice), cudaSuccess);
    EXPECT_EQ(back.download<float>(), (std::vector<float>{0.0f, 0.0f, -8.5f, 9.25f}));
    EXPECT_EQ(cudaMemcpyToSymbol(cTable, out.at(8), 16, 0, cudaMemcpyDeviceToDevice), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpyFromSymbol(back.at(4), cTable, 16, 0, cudaMemcpyDeviceToDevice), cudaErrorInvalidValue);
}

TEST_F(Symbols, UnknownSymbolsAndRangesPastTheSymbolAreRejected)
{
    int value = 5;
    EXPECT_EQ(cudaMemcpyToSymbol(&value, &value, sizeof value), cudaErrorInvalidSymbol);
    EXPECT_EQ(cudaMemcpyToSymbol(&cMissing, &value, sizeof value), cudaErrorInvalidSymbol);
    EXPECT_EQ(cudaMemcpyFromSymbol(&value, &cMissing, sizeof value), cudaErrorInvalidSymbol);

    const char five[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(cudaMemcpyToSymbol(&cScale, five, 5), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpyToSymbol(&cScale, five, 1, 4), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpyToSymbol(&cScale, five, 2, 3), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpyFromSymbol(&value, cTable, 4, 13), cudaErrorInvalidValue);
    EXPECT_EQ(cudaMemcpyToSymbol(&cScale, five, 4, 0, cudaMemcpyDeviceToHost), cudaErrorInvalidMemcpyDirection);
    ASSERT_EQ(cudaMemcpyFromSymbol(&value, &cScale, sizeof value), cudaSuccess);
    EXPECT_EQ(value, 0) << "a rejected copy must not write part of the symbol";

    __cudaUnregisterFatBinary(handle_);
    EXPECT_EQ(cudaMemcpyToSymbol(&cScale, &value, sizeof value), cudaErrorInvalidSymbol);
    handle_ = register_module();
}

// ---- injected failures ---------------------------------------------------------------------------

class InjectedFailures : public ModuleTest {};

TEST_F(InjectedFailures, RefusedAllocationsHoldNothing)
{
    const cudaChannelFormatDesc desc = cudaCreateChannelDesc<int>();
    const std::uint64_t allocations = emu::allocations_made();
    void* memory = &memory;
    cudaArray* array = reinterpret_cast<cudaArray*>(&array);
    emu::fail_next(emu::Operation::Malloc);
    emu::fail_next(emu::Operation::MallocArray);
    EXPECT_EQ(cudaMalloc(&memory, 64), cudaErrorMemoryAllocation);
    EXPECT_EQ(cudaGetLastError(), cudaErrorMemoryAllocation);
    EXPECT_EQ(cudaMallocArray(&array, &desc, 4, 4), cudaErrorMemoryAllocation);
    EXPECT_EQ(cudaGetLastError(), cudaErrorMemoryAllocation);
    EXPECT_EQ(memory, &memory);
    EXPECT_EQ(array, reinterpret_cast<cudaArray*>(&array));
    EXPECT_EQ(emu::allocations_made(), allocations);
    ASSERT_EQ(cudaMalloc(&memory, 64), cudaSuccess);
    ASSERT_EQ(cudaMallocArray(&array, &desc, 4, 4), cudaSuccess);
    EXPECT_EQ(emu::allocations_made(), allocations + 2);
    EXPECT_EQ(cudaFreeArray(array), cudaSuccess);
    EXPECT_EQ(cudaFree(memory), cudaSuccess);
}

TEST_F(InjectedFailures, RefusedCopiesChangeNothingInAnyDirection)
{
    DeviceBuffer device(16), device_source(16);
    device.upload(std::vector<int>{1, 2, 3, 4});
    device_source.upload(std::vector<int>{10, 20, 30, 40});
    std::vector<int> host = {5, 6, 7, 8};
    const std::vector<int> host_source = {9, 9, 9, 9};
    // Each destination differs from its source when its copy is tried.
    const struct {
        void* dst;
        const void* src;
        cudaMemcpyKind kind;
    } copies[] = {
        {device.get(), host_source.data(), cudaMemcpyHostToDevice},
        {host.data(), device_source.get(), cudaMemcpyDeviceToHost},
        {device.get(), device_source.get(), cudaMemcpyDeviceToDevice},
        {host.data(), host_source.data(), cudaMemcpyHostToHost},
    };
    for (const auto& copy : copies) {
        SCOPED_TRACE(::testing::Message() << "direction " << copy.kind);
        const std::vector<int> device_before = device.download<int>(), host_before = host;
        emu::fail_next(emu::Operation::Memcpy);
        EXPECT_EQ(cudaMemcpy(copy.dst, copy.src, 16, copy.kind), cudaErrorLaunchFailure);
        EXPECT_EQ(cudaGetLastError(), cudaErrorLaunchFailure);
        EXPECT_EQ(device.download<int>(), device_before);
        EXPECT_EQ(host, host_before);
        EXPECT_EQ(cudaMemcpy(copy.dst, copy.src, 16, copy.kind), cudaSuccess);
    }
    EXPECT_EQ(device.download<int>(), (std::vector<int>{10, 20, 30, 40}));
    EXPECT_EQ(host, host_source);
}

TEST_F(InjectedFailures, RefusedArrayCopiesSymbolCopiesAndBindingsChangeNothing)
{
    const std::vector<int> first = iota(8), second = iota(8, 100);
    const Array a = Array::of<int>(4, 2, first), other = Array::of<int>(4, 2, second);
    ASSERT_EQ(bind(texInt2D, a), cudaSuccess);

    emu::fail_next(emu::Operation::MemcpyToArray);
    EXPECT_EQ(cudaMemcpyToArray(a.array, 0, 0, second.data(), 32, cudaMemcpyHostToDevice), cudaErrorLaunchFailure);
    emu::fail_next(emu::Operation::Memcpy2DToArray);
    EXPECT_EQ(cudaMemcpy2DToArray(a.array, 0, 0, second.data(), 16, 16, 2, cudaMemcpyHostToDevice), cudaErrorLaunchFailure);
    emu::fail_next(emu::Operation::BindTextureToArray);
    EXPECT_EQ(bind(texInt2D, other), cudaErrorLaunchFailure);
    EXPECT_EQ(cudaGetLastError(), cudaErrorLaunchFailure);
    EXPECT_EQ(texInt2D_contents(4, 2), first) << "the array kept its contents and its binding";

    const int scale = 42;
    int scale_back = -1;
    emu::fail_next(emu::Operation::MemcpyToSymbol);
    EXPECT_EQ(cudaMemcpyToSymbol(&cScale, &scale, sizeof scale), cudaErrorLaunchFailure);
    ASSERT_EQ(cudaMemcpyFromSymbol(&scale_back, &cScale, sizeof scale_back), cudaSuccess);
    EXPECT_EQ(scale_back, 0);

    // The next call of each succeeds.
    ASSERT_EQ(cudaMemcpy2DToArray(a.array, 0, 0, second.data(), 16, 16, 2, cudaMemcpyHostToDevice), cudaSuccess);
    EXPECT_EQ(texInt2D_contents(4, 2), second);
    ASSERT_EQ(cudaMemcpyToArray(a.array, 0, 0, first.data(), 32, cudaMemcpyHostToDevice), cudaSuccess);
    EXPECT_EQ(texInt2D_contents(4, 2), first);
    ASSERT_EQ(bind(texInt2D, other), cudaSuccess);
    EXPECT_EQ(texInt2D_contents(4, 2), second);
    ASSERT_EQ(cudaMemcpyToSymbol(&cScale, &scale, sizeof scale), cudaSuccess);
    ASSERT_EQ(cudaMemcpyFromSymbol(&scale_back, &cScale, sizeof scale_back), cudaSuccess);
    EXPECT_EQ(scale_back, 42);
}

TEST_F(InjectedFailures, OnlyTheChosenCallOfTheChosenOperationFails)
{
    DeviceBuffer device(4);
    const Array a = Array::of<int>(1, 1);
    const int value = 3;
    auto copy = [&] { return cudaMemcpy(device.get(), &value, sizeof value, cudaMemcpyHostToDevice); };
    emu::fail_next(emu::Operation::Memcpy, 2);
    emu::fail_next(emu::Operation::Memcpy, 2);  // the same call again
    // Calls of other operations do not count.
    EXPECT_EQ(cudaMemcpyToArray(a.array, 0, 0, &value, sizeof value, cudaMemcpyHostToDevice), cudaSuccess);
    EXPECT_EQ(cudaMemcpyToSymbol(&cScale, &value, sizeof value), cudaSuccess);
    EXPECT_EQ(copy(), cudaSuccess);
    EXPECT_EQ(copy(), cudaSuccess);
    EXPECT_EQ(copy(), cudaErrorLaunchFailure);
    EXPECT_EQ(copy(), cudaSuccess);
    // The call fails before its arguments are looked at.
    emu::fail_next(emu::Operation::Memcpy);
    EXPECT_EQ(cudaMemcpy(nullptr, nullptr, 4, cudaMemcpyHostToDevice), cudaErrorLaunchFailure);
    // Clearing forgets what has not happened yet.
    emu::fail_next(emu::Operation::Memcpy);
    emu::clear_failures();
    EXPECT_EQ(copy(), cudaSuccess);
}
