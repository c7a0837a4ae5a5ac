// The settings file: every setting read from it, then one changed and the file read again.
#include "FuzzSupport.h"
#include "app/RunLog.h"
#include "app/SettingsFile.h"

using namespace fd;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string original(fuzz::AsText(data, size));
  const std::string path = fuzz::ScratchFolder::get().write("ZK40 Family Flashdock.ini", original);
  SettingsFile settings(path);
  const std::pair<const char*, const char*> keys[] = {
      {kSectionProgrammer, kKeyProductNumber}, {kSectionProgrammer, kKeyIdCode},
      {kSectionProgrammer, kKeyPowerSet},      {kSectionLog, kKeyAutoSaveLog},
      {kSectionLog, kKeyAutoSaveId},           {kSectionMainWindow, kKeyRunKey},
      {kSectionMainWindow, kKeyOperatorMode},
  };
  for (const auto& [section, key] : keys) FUZZ_CHECK(settings.read(section, key).size() <= kSettingsValueMax);
  (void)AutoSaveLog(settings);
  (void)AutoSaveId(settings);
  (void)OperatorModeSetting(settings);
  (void)RunLogEnabled(settings);
  (void)StationName(settings);

  // A change keeps the one value asked for and leaves the others readable as before.
  const std::string before = settings.read(kSectionLog, kKeyAutoSaveId);
  if (settings.write(kSectionProgrammer, kKeyPowerSet, "50")) {
    FUZZ_CHECK(settings.read(kSectionProgrammer, kKeyPowerSet) == "50");
    FUZZ_CHECK(settings.read(kSectionLog, kKeyAutoSaveId) == before);
  }
  return 0;
}
