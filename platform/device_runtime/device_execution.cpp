// Kernel execution of the stand-in device runtime, and the device-side calls kernels make while they
// run (checked loads and stores, shared memory, block barriers).
#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/device_runtime/runtime_internal.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <process.h>
#define VANTREO_RUNTIME_WIN32_THREADS 1
#elif defined(__unix__) || defined(__APPLE__)
#include <pthread.h>
#include <unistd.h>
#include <climits>
#define VANTREO_RUNTIME_POSIX_THREADS 1
#endif

namespace vantreo_runtime {
namespace {

class BlockBarrier;

// What the current host thread is doing for a launch.
struct ThreadScope {
    bool in_launch;
    unsigned char* shared;
    BlockBarrier* barrier;  // null for kernels that never wait at a barrier
};
thread_local ThreadScope t_scope{};

// The allocation this host thread touched last, valid while the table's generation is unchanged.
struct AllocationCache {
    std::uint64_t generation;
    std::uint32_t base;
    std::uint32_t size;
    unsigned char* bytes;
};
thread_local AllocationCache t_cache{};

// A host thread with a small stack. A block of a barrier kernel needs up to 512 threads alive at
// once, which at the C library's default stack size do not fit a 32-bit address space; std::thread
// cannot choose the stack size, so this is the one place that uses the system's threads directly
// (pthreads, or on Windows a thread whose stack reservation is that size).
class HostThread {
public:
    HostThread() = default;
    HostThread(const HostThread&) = delete;
    HostThread& operator=(const HostThread&) = delete;
    ~HostThread() { join(); }

    bool start(std::function<void()> body)
    {
#if defined(VANTREO_RUNTIME_WIN32_THREADS)
        auto owned = std::make_unique<std::function<void()>>(std::move(body));
        const std::uintptr_t handle = _beginthreadex(nullptr, kStackBytes, &HostThread::trampoline, owned.get(),
                                                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        if (handle == 0) return false;
        owned.release();
        handle_ = reinterpret_cast<HANDLE>(handle);
        running_ = true;
        return true;
#elif defined(VANTREO_RUNTIME_POSIX_THREADS)
        auto owned = std::make_unique<std::function<void()>>(std::move(body));
        pthread_attr_t attr;
        if (pthread_attr_init(&attr) != 0) return false;
        std::size_t stack = kStackBytes;
        if (stack < static_cast<std::size_t>(PTHREAD_STACK_MIN)) stack = PTHREAD_STACK_MIN;
        pthread_attr_setstacksize(&attr, stack);
        const int rc = pthread_create(&handle_, &attr, &HostThread::trampoline, owned.get());
        pthread_attr_destroy(&attr);
        if (rc != 0) return false;
        owned.release();
        running_ = true;
        return true;
#else
        try {
            thread_ = std::thread(std::move(body));
        } catch (const std::system_error&) {
            return false;
        }
        running_ = true;
        return true;
#endif
    }

    void join()
    {
        if (!running_) return;
#if defined(VANTREO_RUNTIME_WIN32_THREADS)
        WaitForSingleObject(handle_, INFINITE);
        CloseHandle(handle_);
        handle_ = nullptr;
#elif defined(VANTREO_RUNTIME_POSIX_THREADS)
        pthread_join(handle_, nullptr);
#else
        thread_.join();
#endif
        running_ = false;
    }

private:
    static constexpr std::size_t kStackBytes = 512u * 1024u;
#if defined(VANTREO_RUNTIME_WIN32_THREADS)
    static unsigned __stdcall trampoline(void* arg)
    {
        std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
        (*body)();
        return 0;
    }
    HANDLE handle_ = nullptr;
#elif defined(VANTREO_RUNTIME_POSIX_THREADS)
    static void* trampoline(void* arg)
    {
        std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
        (*body)();
        return nullptr;
    }
    pthread_t handle_{};
#else
    std::thread thread_;
#endif
    bool running_ = false;
};

// The host threads a launch or a large copy runs on, the calling one included. Counted once: the
// count reads the system's list of processors.
unsigned launch_threads()
{
    static const unsigned threads = std::max(1u, std::min(std::thread::hardware_concurrency(), 16u));
    return threads;
}

// One job of parts: the threads that share it take the next part until none is left.
struct PartJob {
    void (*task)(void* data, unsigned part);
    void* data;
    unsigned count;
    std::atomic<unsigned> next{0};

    void run()
    {
        for (unsigned part; (part = next.fetch_add(1, std::memory_order_relaxed)) < count;) task(data, part);
    }
};

// The host threads that share the whole-grid kernels and the large copies with the calling thread, as
// a device's processors: kept from the first job on, rather than started for every copy and launch,
// which costs more than the copy of a small frame. One job at a time; the calling thread always takes
// part, so a helper that cannot be started only leaves more to the others.
class PartHelpers {
public:
    PartHelpers() = default;
    PartHelpers(const PartHelpers&) = delete;
    PartHelpers& operator=(const PartHelpers&) = delete;
    ~PartHelpers();

    // Runs `job` on the calling thread and the helpers; returns when every part is done.
    void run(PartJob& job);

private:
#if defined(VANTREO_RUNTIME_WIN32_THREADS)
    // A DLL cannot end its own threads while it is unloaded (their exit waits for the loader lock that
    // the unloading thread holds), so on Windows the helpers are the system's pool threads, which run
    // nothing of this library between jobs.
    static void CALLBACK help(PTP_CALLBACK_INSTANCE, void* context, PTP_WORK)
    {
        static_cast<PartHelpers*>(context)->job_->run();
    }
    PTP_WORK work_ = nullptr;
#else
    void help();
    std::vector<std::unique_ptr<HostThread>> threads_;
    bool started_ = false;
    std::mutex mutex_;  // guards what follows
    std::condition_variable wake_, finished_;
    std::uint64_t generation_ = 0;  // one more for every job
    unsigned busy_ = 0;             // helpers still on the current job
    bool stop_ = false;
#endif
    std::mutex serial_;  // one job at a time
    PartJob* job_ = nullptr;
#if defined(VANTREO_RUNTIME_POSIX_THREADS)
    pid_t owner_ = getpid();  // a forked child has none of the parent's helpers
#endif
};

#if defined(VANTREO_RUNTIME_WIN32_THREADS)
void PartHelpers::run(PartJob& job)
{
    std::lock_guard<std::mutex> serial(serial_);
    if (!work_) work_ = CreateThreadpoolWork(&PartHelpers::help, this, nullptr);
    job_ = &job;
    if (work_)
        for (unsigned i = 1; i < std::min(launch_threads(), job.count); ++i) SubmitThreadpoolWork(work_);
    job.run();
    if (work_) WaitForThreadpoolWorkCallbacks(work_, FALSE);
}

PartHelpers::~PartHelpers()
{
    if (work_) CloseThreadpoolWork(work_);
}
#else
void PartHelpers::run(PartJob& job)
{
#if defined(VANTREO_RUNTIME_POSIX_THREADS)
    if (getpid() != owner_) {
        job.run();
        return;
    }
#endif
    std::lock_guard<std::mutex> serial(serial_);
    if (!started_) {
        started_ = true;
        for (unsigned i = 1; i < launch_threads(); ++i) {
            auto thread = std::make_unique<HostThread>();
            if (!thread->start([this] { help(); })) break;
            threads_.push_back(std::move(thread));
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job_ = &job;
        busy_ = static_cast<unsigned>(threads_.size());
        ++generation_;
    }
    wake_.notify_all();  // every helper wakes; those past the parts find none left
    job.run();
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [this] { return busy_ == 0; });
}

void PartHelpers::help()
{
    std::uint64_t seen = 0;
    for (;;) {
        PartJob* job = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
            if (stop_) return;
            seen = generation_;
            job = job_;
        }
        job->run();
        std::lock_guard<std::mutex> lock(mutex_);
        if (--busy_ == 0) finished_.notify_one();
    }
}

PartHelpers::~PartHelpers()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    threads_.clear();  // joins each
}
#endif

// False once the helpers are gone at static termination: a job after that runs on the calling thread.
bool part_helpers_live = true;

PartHelpers& part_helpers()
{
    struct Owner {
        PartHelpers helpers;
        ~Owner() { part_helpers_live = false; }
    };
    static Owner owner;
    return owner.helpers;
}

// A reusable barrier for the threads of one block. Each arrival says whether the thread waits inside
// the kernel or has finished the block; a phase that mixes the two means the threads diverged at a
// barrier, which would deadlock or silently mismatch on a device, so it is a fault.
class BlockBarrier {
public:
    enum Arrival : unsigned { kInKernel = 1, kBlockDone = 2 };

    BlockBarrier(unsigned threads, const emu::LaunchContext& ctx) : threads_(threads), ctx_(ctx) {}

    void arrive(Arrival kind)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        kinds_ |= kind;
        if (++arrived_ == threads_) {
            const bool diverged = kinds_ == (kInKernel | kBlockDone);
            arrived_ = 0;
            kinds_ = 0;
            ++phase_;
            lock.unlock();
            if (diverged)
                fault_with_message(ctx_, "the threads of a block did not all reach the same block barrier");
            released_.notify_all();
            return;
        }
        const std::uint64_t phase = phase_;
        released_.wait(lock, [&] { return phase_ != phase; });
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    const unsigned threads_;
    const emu::LaunchContext& ctx_;
    unsigned arrived_ = 0;
    unsigned kinds_ = 0;
    std::uint64_t phase_ = 0;
};

// Holds the threads of a barrier kernel until all of them exist, or tells them to give up.
class StartGate {
public:
    void open(bool run)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            state_ = run ? kRun : kCancel;
        }
        changed_.notify_all();
    }
    bool wait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return state_ != kClosed; });
        return state_ == kRun;
    }

private:
    enum State { kClosed, kRun, kCancel };
    std::mutex mutex_;
    std::condition_variable changed_;
    State state_ = kClosed;
};

uint3 block_index(std::uint64_t linear, const dim3& grid)
{
    const std::uint64_t per_row = grid.x;
    const std::uint64_t per_layer = per_row * grid.y;
    return {static_cast<unsigned>(linear % per_row), static_cast<unsigned>((linear / per_row) % grid.y),
            static_cast<unsigned>(linear / per_layer)};
}

std::uint64_t block_count(const dim3& grid)
{
    return static_cast<std::uint64_t>(grid.x) * grid.y * grid.z;
}

// Kernels without block barriers: each host worker takes runs of whole blocks and plays their threads
// one after the other, in order x fastest. A worker's shared memory starts as garbage and, as on a
// device, keeps whatever the previous block left in it.
void run_blocks(const emu::ImageKernel& kernel, const LaunchGeometry& geometry, const emu::LaunchContext& ctx,
                std::atomic<std::uint64_t>& next_block, std::uint64_t chunk) noexcept
{
    std::vector<unsigned char> shared(ctx.shared_bytes);
    fill_garbage(shared.data(), shared.size());
    t_scope = ThreadScope{true, shared.data(), nullptr};
    const std::uint64_t total = block_count(geometry.grid);
    const dim3 block = geometry.block;
    emu::KernelThread thread{};
    thread.blockDim = block;
    thread.gridDim = geometry.grid;
    for (;;) {
        const std::uint64_t first = next_block.fetch_add(chunk, std::memory_order_relaxed);
        if (first >= total) break;
        const std::uint64_t last = std::min(first + chunk, total);
        for (std::uint64_t b = first; b < last; ++b) {
            thread.blockIdx = block_index(b, geometry.grid);
            for (unsigned z = 0; z < block.z; ++z)
                for (unsigned y = 0; y < block.y; ++y)
                    for (unsigned x = 0; x < block.x; ++x) {
                        thread.threadIdx = {x, y, z};
                        kernel.run(ctx, thread);
                    }
        }
    }
    t_scope = ThreadScope{};
}

cudaError_t execute_plain(const emu::ImageKernel& kernel, const LaunchGeometry& geometry,
                          const emu::LaunchContext& ctx)
{
    const std::uint64_t total = block_count(geometry.grid);
    unsigned workers = launch_threads();
    if (total < workers) workers = static_cast<unsigned>(total);
    const std::uint64_t chunk = std::max<std::uint64_t>(1, total / (std::uint64_t{workers} * 64));

    std::atomic<std::uint64_t> next_block{0};
    auto body = [&] { run_blocks(kernel, geometry, ctx, next_block, chunk); };
    // A helper that cannot be started just leaves more of the blocks to the others.
    std::vector<std::unique_ptr<HostThread>> helpers;
    for (unsigned i = 1; i < workers; ++i) {
        auto helper = std::make_unique<HostThread>();
        if (!helper->start(body)) break;
        helpers.push_back(std::move(helper));
    }
    body();
    for (auto& helper : helpers) helper->join();
    return cudaSuccess;
}

// Kernels with block barriers: one host thread per thread of a block, all alive for the whole launch,
// going through the blocks together.
cudaError_t execute_with_barriers(const emu::ImageKernel& kernel, const LaunchGeometry& geometry,
                                  const emu::LaunchContext& ctx)
{
    const dim3 block = geometry.block;
    const unsigned team = block.x * block.y * block.z;
    const std::uint64_t total = block_count(geometry.grid);
    BlockBarrier barrier(team, ctx);
    std::vector<unsigned char> shared(ctx.shared_bytes);
    fill_garbage(shared.data(), shared.size());
    StartGate gate;

    auto member = [&](unsigned t) {
        if (!gate.wait()) return;
        t_scope = ThreadScope{true, shared.data(), &barrier};
        emu::KernelThread thread{};
        thread.blockDim = block;
        thread.gridDim = geometry.grid;
        thread.threadIdx = {t % block.x, (t / block.x) % block.y, t / (block.x * block.y)};
        for (std::uint64_t b = 0; b < total; ++b) {
            thread.blockIdx = block_index(b, geometry.grid);
            kernel.run(ctx, thread);
            barrier.arrive(BlockBarrier::kBlockDone);
            if (t == 0) fill_garbage(shared.data(), shared.size());
            barrier.arrive(BlockBarrier::kBlockDone);
        }
        t_scope = ThreadScope{};
    };

    std::vector<std::unique_ptr<HostThread>> threads;
    threads.reserve(team);
    bool all_started = true;
    for (unsigned t = 0; t < team; ++t) {
        auto thread = std::make_unique<HostThread>();
        if (!thread->start([&member, t] { member(t); })) {
            all_started = false;
            break;
        }
        threads.push_back(std::move(thread));
    }
    gate.open(all_started);
    for (auto& thread : threads) thread->join();
    return all_started ? cudaSuccess : cudaErrorLaunchFailure;
}

// Read at every launch, so that a test can compare both ways of running a kernel in one process.
bool per_thread_execution_asked()
{
    const char* value = std::getenv("VANTREO_TEST_EMU_PER_THREAD");
    return value && *value && std::strcmp(value, "0") != 0;
}

unsigned char* resolve(const emu::LaunchContext& ctx, const char* what, emu::DeviceAddress address,
                       std::uint32_t count)
{
    const DeviceMemory& memory = device_memory();
    const std::uint64_t end = std::uint64_t{address} + count;
    AllocationCache& cache = t_cache;
    if (cache.generation == memory.generation && address >= cache.base &&
        end <= std::uint64_t{cache.base} + cache.size)
        return cache.bytes + (address - cache.base);
    std::uint32_t base = 0;
    const Allocation* allocation = memory.find(address, count, &base);
    if (!allocation) emu::device_fault(ctx, what, address, count);
    cache = AllocationCache{memory.generation, base, allocation->size, allocation->bytes.get()};
    return allocation->bytes.get() + (address - base);
}

}  // namespace

void fault_with_message(const emu::LaunchContext& ctx, const char* message)
{
    std::fprintf(stderr, "device fault in kernel %s: %s\n", ctx.kernel_name ? ctx.kernel_name : "(unnamed)",
                 message);
    std::fflush(stderr);
    std::abort();
}

cudaError_t execute_kernel(const emu::ImageKernel& kernel, const LaunchGeometry& geometry,
                           const emu::LaunchContext& ctx, bool* ran_whole_grid)
{
    *ran_whole_grid = false;
    if (kernel.run_grid && !per_thread_execution_asked() && kernel.run_grid(ctx, geometry.grid, geometry.block)) {
        *ran_whole_grid = true;
        return cudaSuccess;
    }
    if (kernel.uses_block_barrier) return execute_with_barriers(kernel, geometry, ctx);
    return execute_plain(kernel, geometry, ctx);
}

}  // namespace vantreo_runtime

namespace emu {

DeviceAddress to_device_address(const void* device_pointer)
{
    const auto value = reinterpret_cast<std::uintptr_t>(device_pointer);
    // Anything wider than 32 bits is a host pointer; address 0 is never mapped, so its use faults.
    if (value > 0xFFFFFFFFu) return 0;
    return static_cast<DeviceAddress>(value);
}

void device_fault(const LaunchContext& ctx, const char* what, std::uint64_t address, std::uint64_t bytes)
{
    char message[256];
    const bool access = std::strcmp(what, "store") == 0 || std::strcmp(what, "load") == 0;
    if (access)
        std::snprintf(message, sizeof message,
                      "%s of %" PRIu64 " bytes at device address 0x%" PRIx64 " is outside every allocation", what,
                      bytes, address);
    else
        std::snprintf(message, sizeof message, "%s (0x%" PRIx64 ", %" PRIu64 " bytes)", what, address, bytes);
    vantreo_runtime::fault_with_message(ctx, message);
}

void store(const LaunchContext& ctx, DeviceAddress address, const void* bytes, std::uint32_t count)
{
    std::memcpy(vantreo_runtime::resolve(ctx, "store", address, count), bytes, count);
}

void load(const LaunchContext& ctx, DeviceAddress address, void* bytes, std::uint32_t count)
{
    std::memcpy(bytes, vantreo_runtime::resolve(ctx, "load", address, count), count);
}

unsigned char* store_range(DeviceAddress address, std::uint64_t count)
{
    std::uint32_t base = 0;
    const vantreo_runtime::Allocation* allocation = vantreo_runtime::device_memory().find(address, count, &base);
    return allocation ? allocation->bytes.get() + (address - base) : nullptr;
}

void for_each_part(unsigned count, void (*task)(void* data, unsigned part), void* data)
{
    vantreo_runtime::PartJob job{task, data, count};
    if (count <= 1 || vantreo_runtime::launch_threads() == 1 || !vantreo_runtime::part_helpers_live)
        job.run();
    else
        vantreo_runtime::part_helpers().run(job);
}

unsigned char* shared_memory(const LaunchContext& ctx)
{
    if (!vantreo_runtime::t_scope.in_launch)
        vantreo_runtime::fault_with_message(ctx, "shared memory used outside a running block");
    return vantreo_runtime::t_scope.shared;
}

void sync_block(const LaunchContext& ctx)
{
    vantreo_runtime::BlockBarrier* barrier = vantreo_runtime::t_scope.barrier;
    if (!vantreo_runtime::t_scope.in_launch || !barrier)
        vantreo_runtime::fault_with_message(ctx, "block barrier in a kernel not registered as using one");
    barrier->arrive(vantreo_runtime::BlockBarrier::kInKernel);
}

}  // namespace emu
