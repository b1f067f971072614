#include "exedit2/host_log.h"

#include <atomic>

namespace {

std::atomic<exedit2::Logger*> host_logger{nullptr};

}  // namespace

void set_host_log(exedit2::Logger* logger) { host_logger.store(logger, std::memory_order_release); }

void log_to_host(LogLevel level, const std::string& message)
{
    exedit2::Logger* logger = host_logger.load(std::memory_order_acquire);
    if (!logger) return;
    std::u16string text = u"Vantreo: ";
    for (const char c : message) text += static_cast<unsigned char>(c) < 0x80 ? char16_t(c) : u'?';
    const exedit2::Logger::Write write =
        level == LogLevel::info ? logger->info : level == LogLevel::warn ? logger->warn : logger->error;
    if (write) write(logger, text.c_str());
}
