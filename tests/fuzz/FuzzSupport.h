#pragma once
// What the fuzz targets share: a scratch folder of their own, a pacer that never waits, and
// a programmer whose every answer comes from the fuzzer's bytes.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "link/Bridge.h"
#include "link/Pacer.h"

namespace fd::fuzz {

// One folder a process, made at the first use and removed at exit: every file a target
// writes goes in here. In memory (/dev/shm) where there is one: replacing a file on a disk
// takes milliseconds, which would slow a run down to a few hundred inputs a second.
class ScratchFolder {
public:
  static ScratchFolder& get() {
    static ScratchFolder folder;
    return folder;
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  // Replaces the file `name` with exactly `bytes`.
  std::string write(const std::string& name, std::string_view bytes) const {
    const std::string file = path(name);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) std::abort();  // the fuzzer's machine, not the program, is at fault
    return file;
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

private:
  ScratchFolder() {
    const std::filesystem::path base =
        ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string pattern = (base / "flashdock-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    dir_ = pattern;
  }
  std::string dir_;
};

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Waits cost nothing: the fuzzer's programmer answers at once.
class NoWaitPacer final : public Pacer {
public:
  void spin(std::uint64_t) override {}
};

// One programmer whose status lines, receive-queue counts and answers are taken in turn
// from the fuzzer's bytes; once they run out its status no longer reads and nothing more
// arrives, as an unplugged programmer behaves. Writes and line changes always go out.
class ScriptedBridge final : public Bridge {
public:
  ScriptedBridge(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool exhausted() const { return pos_ >= size_; }
  // The next byte, or `fallback` when they have run out.
  std::uint8_t take(std::uint8_t fallback = 0) { return exhausted() ? fallback : data_[pos_++]; }

  int BridgeGetNumDevices(std::uint32_t& count) override { count = 1; return kBridgeOk; }
  int BridgeGetProductString(std::uint32_t, std::string& text, std::uint8_t) override {
    text.clear();
    return kBridgeOk;
  }
  int BridgeOpen(std::uint32_t index, BridgeHandle& handle) override {
    if (index != 0) return kBridgeDeviceNotFound;
    handle = ++lastHandle_;
    open_ = handle;
    return kBridgeOk;
  }
  int BridgeClose(BridgeHandle handle) override {
    if (handle != open_ || handle == kNoHandle) return kBridgeInvalidHandle;
    open_ = kNoHandle;
    return kBridgeOk;
  }
  // A control byte first: its top bit clear, the whole answer follows (as far as the bytes
  // go); set, only (low seven bits) bytes of it arrive, fewer than asked.
  int BridgeRead(BridgeHandle handle, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& bytesRead) override {
    bytesRead = 0;
    if (!valid(handle)) return kBridgeInvalidHandle;
    if (count == 0) return kBridgeOk;
    if (exhausted()) return kBridgeReadTimedOut;
    const std::uint8_t control = take();
    std::uint32_t wanted = count;
    if (control & 0x80) wanted = std::min<std::uint32_t>(control & 0x7F, count - 1);
    while (bytesRead < wanted && !exhausted()) buffer[bytesRead++] = take();
    return bytesRead == count ? kBridgeOk : kBridgeReadTimedOut;
  }
  int BridgeWrite(BridgeHandle handle, const std::uint8_t*, std::uint32_t count, std::uint32_t& bytesWritten) override {
    bytesWritten = 0;
    if (!valid(handle)) return kBridgeInvalidHandle;
    bytesWritten = count;
    return kBridgeOk;
  }
  int BridgeFlushBuffers(BridgeHandle handle, std::uint8_t, std::uint8_t) override {
    return valid(handle) ? kBridgeOk : kBridgeInvalidHandle;
  }
  int BridgeSetTimeouts(std::uint32_t, std::uint32_t) override { return kBridgeOk; }
  int BridgeCheckRxQueue(BridgeHandle handle, std::uint32_t& byteCount, std::uint32_t& queueStatus) override {
    if (!valid(handle)) return kBridgeInvalidHandle;
    byteCount = take();
    queueStatus = 0;
    return kBridgeOk;
  }
  int BridgeSetBaudRate(BridgeHandle handle, std::uint32_t) override { return valid(handle) ? kBridgeOk : kBridgeInvalidHandle; }
  int BridgeSetLineControl(BridgeHandle handle, std::uint16_t) override {
    return valid(handle) ? kBridgeOk : kBridgeInvalidHandle;
  }
  int BridgeSetFlowControl(BridgeHandle handle, const FlowPattern&) override {
    return valid(handle) ? kBridgeOk : kBridgeInvalidHandle;
  }
  int BridgeGetModemStatus(BridgeHandle handle, std::uint8_t& status) override {
    if (!valid(handle) || exhausted()) return kBridgeSystemError;
    status = take();
    return kBridgeOk;
  }

private:
  bool valid(BridgeHandle handle) const { return handle != kNoHandle && handle == open_; }
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  BridgeHandle lastHandle_ = 0;
  BridgeHandle open_ = kNoHandle;
};

}  // namespace fd::fuzz

// A property every input must keep; breaking it is a finding like a crash.
#define FUZZ_CHECK(condition)                                                   \
  do {                                                                          \
    if (!(condition)) {                                                         \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                             \
    }                                                                           \
  } while (false)
