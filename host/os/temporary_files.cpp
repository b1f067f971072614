#include "host/os/temporary_files.h"

#include <atomic>
#include <cstdlib>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#else
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace vantreo_host {

// Entries are never freed and their paths never change once recorded, so a signal handler on any
// thread may walk the list at any moment.
struct TemporaryEntry {
    std::string path;
    bool directory = false;
    std::atomic<bool> live{true};
    TemporaryEntry* older = nullptr;
};

namespace {

std::atomic<TemporaryEntry*> newest_entry{nullptr};

// Claiming `live` first makes each removal happen once, whoever gets there.
void remove_entry(TemporaryEntry& entry)
{
    if (!entry.live.exchange(false)) return;
#ifdef _WIN32
    if (entry.directory)
        _rmdir(entry.path.c_str());
    else
        _unlink(entry.path.c_str());
#else
    if (entry.directory)
        rmdir(entry.path.c_str());
    else
        unlink(entry.path.c_str());
#endif
}

// Newest first, so that a directory goes after the files made in it. Async-signal-safe.
void remove_all_entries()
{
    for (TemporaryEntry* entry = newest_entry.load(); entry; entry = entry->older) remove_entry(*entry);
}

TemporaryEntry* record(const std::string& path, bool directory)
{
    static const bool at_exit = std::atexit(remove_all_entries) == 0;
    (void)at_exit;
    auto* entry = new TemporaryEntry;
    entry->path = path;
    entry->directory = directory;
    entry->older = newest_entry.load();
    while (!newest_entry.compare_exchange_weak(entry->older, entry)) {
    }
    return entry;
}

#ifdef _WIN32

class EndingSignalsHeld {
public:
    EndingSignalsHeld() {}
};

#else

// Every signal whose default action ends the process without a crash, and those that tell of one.
// SIGXFSZ is not among them: a write past the file size limit fails instead, and the error says so.
constexpr int kEndingSignals[] = {SIGINT,  SIGTERM, SIGHUP,    SIGPIPE, SIGQUIT,
                                  SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF};
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

// The signals that remove the recorded paths, crashes included: held while a path is made and
// recorded, so that none falls in between (a fault meanwhile still ends the process), and while the
// handler runs.
sigset_t ending_signals()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int number : kEndingSignals) sigaddset(&set, number);
    for (const int number : kCrashSignals) sigaddset(&set, number);
    return set;
}

class EndingSignalsHeld {
public:
    EndingSignalsHeld()
    {
        const sigset_t set = ending_signals();
        pthread_sigmask(SIG_BLOCK, &set, &saved_);
    }
    ~EndingSignalsHeld() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

private:
    sigset_t saved_;
};

// The thread that makes and records the paths. A signal sent to the process (by kill, or by the
// terminal) may reach any thread, even while this one holds the signals between making a path and
// recording it; it is passed on to this one, which takes it once the path is recorded.
pthread_t recording_thread;

// Whether the signal was sent to the process and reached another thread; it is then passed on.
bool passed_to_recording_thread(int number, const siginfo_t* info)
{
    const bool to_process = info->si_code == SI_USER || info->si_code == SI_QUEUE || info->si_code == SI_KERNEL;
    if (!to_process || pthread_equal(pthread_self(), recording_thread)) return false;
    pthread_kill(recording_thread, number);
    return true;
}

extern "C" void end_by_signal(int number, siginfo_t* info, void*)
{
    if (passed_to_recording_thread(number, info)) return;
    remove_all_entries();
    // The signal, held while this handler runs, ends the process when it returns; the parent sees
    // which signal it was.
    signal(number, SIG_DFL);
    raise(number);
}

// A crash of this thread (a fault, an abort) is taken here: the signal is not held, so raising it
// again with the default action ends the process by it.
extern "C" void end_by_crash(int number, siginfo_t* info, void*)
{
    if (passed_to_recording_thread(number, info)) return;
    remove_all_entries();
    signal(number, SIG_DFL);
    raise(number);
}

// A write went past the file size limit: the kernel sent SIGXFSZ to the writing thread, and the
// write fails with EFBIG.
volatile sig_atomic_t file_size_limit_passed = 0;

extern "C" void note_file_size_limit(int) { file_size_limit_passed = 1; }

// The ending signals (and SIGXFSZ) ignored when the process started; they stay ignored, as nohup and
// background jobs expect.
sigset_t ignored_at_start;
bool start_recorded = false;

#endif

}  // namespace

TemporaryEntry* make_temporary(const std::function<std::string()>& make, bool directory)
{
    const EndingSignalsHeld held;
    const std::string path = make();
    return path.empty() ? nullptr : record(path, directory);
}

void keep_temporary(TemporaryEntry* entry)
{
    if (entry) entry->live = false;
}

void remove_temporary(TemporaryEntry* entry)
{
    if (entry) remove_entry(*entry);
}

#ifdef _WIN32

void remove_temporaries_on_ending_signals() {}

void hold_ending_signals_until_exit() {}

bool file_size_limit_reached() { return false; }

#else

void hold_ending_signals_until_exit()
{
    const sigset_t set = ending_signals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool file_size_limit_reached() { return file_size_limit_passed != 0; }

void remove_temporaries_on_ending_signals()
{
    if (!start_recorded) {
        start_recorded = true;
        recording_thread = pthread_self();
        sigemptyset(&ignored_at_start);
        for (const int number : kEndingSignals) {
            struct sigaction current {};
            if (sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
                sigaddset(&ignored_at_start, number);
        }
        struct sigaction current {};
        if (sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            sigaddset(&ignored_at_start, SIGXFSZ);
    }
    // Threads the signal only passes through go on with what they were doing.
    struct sigaction ending {};
    ending.sa_sigaction = end_by_signal;
    ending.sa_flags = SA_SIGINFO | SA_RESTART;
    ending.sa_mask = ending_signals();
    struct sigaction ignored {};
    ignored.sa_handler = SIG_IGN;
    for (const int number : kEndingSignals)
        sigaction(number, sigismember(&ignored_at_start, number) ? &ignored : &ending, nullptr);
    struct sigaction size_limit {};
    size_limit.sa_handler = note_file_size_limit;
    size_limit.sa_flags = SA_RESTART;
    sigaction(SIGXFSZ, sigismember(&ignored_at_start, SIGXFSZ) ? &ignored : &size_limit, nullptr);

    struct sigaction crash {};
    crash.sa_sigaction = end_by_crash;
    crash.sa_flags = SA_SIGINFO | SA_RESTART | SA_NODEFER;
    for (const int number : kCrashSignals) sigaction(number, &crash, nullptr);
}

#endif

}  // namespace vantreo_host
