#include "platform/asio/AsioPlatform.h"

#include <asio/post.hpp>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/asio/AsioBackgroundWorker.h"
#include "platform/asio/AsioSocket.h"
#include "platform/asio/HttpClientFactory.h"
#include "platform/asio/AsioTimer.h"
#ifdef _WIN32
#include "platform/asio/win/WinSerialPort.h"
#include "platform/asio/win/WinSpoolFile.h"
#else
#include "platform/asio/posix/PosixSerialPort.h"
#include "platform/asio/posix/PosixSpoolFile.h"
#endif

namespace tavrik {

AsioPlatform::AsioPlatform(std::string executableFolder)
    : executableFolder_(std::move(executableFolder)) {}

AsioPlatform::~AsioPlatform() = default;

std::unique_ptr<SystemPlatform> CreateSystemPlatform(std::string executableFolder) {
  return std::make_unique<AsioPlatform>(std::move(executableFolder));
}

std::unique_ptr<Timer> AsioPlatform::CreateTimer() { return std::make_unique<AsioTimer>(context_); }

std::unique_ptr<Socket> AsioPlatform::CreateSocket() {
  return std::make_unique<AsioSocket>(context_, requests_);
}

std::unique_ptr<SerialPort> AsioPlatform::CreateSerialPort() {
#ifdef _WIN32
  return std::make_unique<WinSerialPort>(context_);
#else
  return std::make_unique<PosixSerialPort>(context_, executableFolder_);
#endif
}

std::unique_ptr<BackgroundWorker> AsioPlatform::CreateWorker() {
  return std::make_unique<AsioBackgroundWorker>(context_);
}

std::unique_ptr<HttpClient> AsioPlatform::CreateHttpClient() { return CreateSystemHttpClient(context_); }

std::unique_ptr<SpoolFile> AsioPlatform::OpenSpoolFile(const std::string& path) {
#ifdef _WIN32
  return std::make_unique<WinSpoolFile>(path);
#else
  return std::make_unique<PosixSpoolFile>(path);
#endif
}

void AsioPlatform::ReturnFreeMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
  // Elsewhere the C library's allocator returns large blocks by itself.
}

void AsioPlatform::Run() {
  // Keep running while idle: the relay lives on events alone.
  auto guard = asio::make_work_guard(context_);
  context_.run();
}

void AsioPlatform::Stop() { context_.stop(); }

void AsioPlatform::Post(std::function<void()> handler) { asio::post(context_, std::move(handler)); }

void AsioPlatform::RunPending() { context_.poll(); }

void AsioPlatform::WatchTermination(TerminationHandler handler) {
  signals_ = std::make_unique<SignalWatcher>(context_, std::move(handler));
}

}  // namespace tavrik
