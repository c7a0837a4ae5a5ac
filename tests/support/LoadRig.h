#pragma once
// The Load File and Program commands on a simulated bench in virtual time: the main window
// picks the programmer, the Loading window runs on a scripted host, every bridge call is
// traced and every message recorded. The page frames each tick of the Loading window wrote
// are kept tick by tick.
#include <sys/stat.h>
#include <utime.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/HistoryLog.h"
#include "app/SettingsFile.h"
#include "flows/common/ScriptedHost.h"
#include "flows/common/WindowProtocol.h"
#include "flows/load/ImageOperation.h"
#include "flows/load/LoadingFlow.h"
#include "formats/DeviceDatabase.h"
#include "link/Frames.h"
#include "support/MainRig.h"
#include "support/SRecordText.h"

namespace fd::test {

using Writes = std::vector<Bytes>;

struct LoadRig : MainRig {
  LoadRig()
      : protocol(tracing, pacer),
        windows(state, protocol, prompter),
        host(clock),
        settings(state.appDir + kSettingsFileName),
        log(state.appDir + kHistoryFileName),
        single(settings, log),
        ports{state, windows, prompter, host, clock, single, {}, [this] { return logTime; }} {
    // The writes of each tick, from the moment the Loading window opened.
    host.script<LoadingFlow>([this](LoadingFlow& flow) {
      ticks.clear();
      tickTimesUs.clear();
      mark = tracing.entries().size();
      if (onLoadingOpen) onLoadingOpen(flow);
    });
    host.afterTick = [this](ModalFlow& flow) {
      ticks.push_back(writesSince(mark));
      tickTimesUs.push_back(clock.nowUs());
      mark = tracing.entries().size();
      if (auto* loading = dynamic_cast<LoadingFlow*>(&flow); loading && afterLoadingTick) {
        afterLoadingTick(*loading, static_cast<int>(ticks.size()));
      }
    };
  }

  // The main window's Off-line Set on `row`: selected, reset with the mark, its block read.
  void offlineSet(int row = 0) {
    flow().open();
    flow().selectRow(row);
    handle = state.currentHandle;
    state.offlineMode = 1;
    windows.ResetProgrammer(handle, 1);
    windows.ReadProgrammerInfo(handle);
    single.reset();
    prompter.clear();
  }
  // On-line Test on `row` with a product of type `typeCode` (the target's own supply and
  // the default ID code, as ReadyProgrammer's target wants them).
  void onlineTest(int row = 0, char typeCode = '2', const std::string& product = "ZK40F8C12") {
    flow().open();
    flow().selectRow(row);
    handle = state.currentHandle;
    state.offlineMode = 0;
    state.productNumber = (product + std::string(12, ' ')).substr(0, 12);
    state.mcuTypeCode = typeCode;
    // The memory map of the product, as the window's on-line refresh takes it.
    const auto memory = ProductMemoryMap(DeviceDatabasePath(state), state.productNumber, 0);
    if (memory.ok() && memory.value) {
      state.dataFlashStart = memory.value->map.dataFlashStart;
      state.dataFlashEnd = memory.value->map.dataFlashEnd;
      state.userFlashStart = memory.value->map.userFlashStart;
      state.userFlashEnd = memory.value->map.userFlashEnd;
    }
    state.powerSet = 0x00;
    state.idCode = kDefaultIdCode;
    windows.ResetProgrammer(handle, 1);
    windows.ReadProgrammerInfo(handle);
    single.reset();
    prompter.clear();
  }

  // An S-record file in the rig's folder, chosen at the next file choice.
  std::string chooseMot(const std::string& name, const std::vector<std::string>& lines) {
    dir.write(name, SFile(lines));
    prompter.chooseOpenNext(dir.path(name));
    return dir.path(name);
  }
  // Sets a file's modification time (seconds since the epoch).
  void touch(const std::string& path, std::time_t when) {
    const utimbuf times{when, when};
    ::utime(path.c_str(), &times);
  }

  Writes writesSince(std::size_t from) const {
    Writes out;
    const auto& entries = tracing.entries();
    for (std::size_t i = from; i < entries.size(); ++i) {
      if (entries[i].op == TraceEntry::Op::Write && entries[i].handle == handle) out.push_back(entries[i].bytes);
    }
    return out;
  }
  std::vector<std::string> texts() const { return prompter.texts(); }
  SimProgrammer& programmer(std::size_t slot = 0) { return bench.programmer(slot); }
  void setAutoSave(const char* log, const char* id) {
    settings.write(kSectionLog, kKeyAutoSaveLog, log);
    settings.write(kSectionLog, kKeyAutoSaveId, id);
  }

  Protocol protocol;
  WindowProtocol windows;
  ScriptedHost host;
  SettingsFile settings;
  HistoryLog log;
  SingleOperationLog single;
  ImageOperationPorts ports;
  BridgeHandle handle = kNoHandle;

  std::vector<Writes> ticks;                 // of the last Loading window
  std::vector<std::uint64_t> tickTimesUs;    // when each of them ran
  std::size_t mark = 0;
  std::function<void(LoadingFlow&)> onLoadingOpen;
  std::function<void(LoadingFlow&, int tick)> afterLoadingTick;
};

// The page frame of `page` holding `data` ("FF" elsewhere) at `offset`.
inline Bytes FrameOf(std::uint16_t page, std::size_t offset, const Bytes& data) {
  std::array<std::uint8_t, kPageBytes> bytes;
  bytes.fill(0xFF);
  std::copy(data.begin(), data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
  const PageFrame frame = MakePageFrame(page, bytes.data());
  return Bytes(frame.begin(), frame.end());
}

}  // namespace fd::test
