// The Windows the program runs on as the managed system: the registry through
// the Win32 API, paths as they are.
#pragma once

#include <string>
#include <vector>

#include "platform/managed_system.h"

namespace platform::win32 {

class LiveWindows : public ManagedSystem {
 public:
  std::string Name() const override { return "this Windows"; }
  bool IsWinePrefix() const override;
  bool Has32BitView() override;
  // Under Wine the registry calls go through the running wineserver, so changes
  // are never refused for a program that keeps it running.
  WriteRefusal CheckWritesAllowed(bool) override { return WriteRefusal(); }
  bool QueryVersion(OsVersionInfo* info) override;
  bool KeepsStartupApproved() override;
  std::vector<ProcessEntry> ListProcesses() override;
  std::string UserName() override;
  std::string ProfilePath() override;
  std::string HostPathFromWindows(const std::string& windowsPath) override { return windowsPath; }
  std::string WindowsPathFromHost(const std::string& hostPath) override { return hostPath; }

  Status OpenKey(HKey root, const std::string& subKey, std::uint32_t access, HKey* result) override;
  Status CreateKey(HKey root, const std::string& subKey, HKey* result) override;
  Status CloseKey(HKey key) override;
  Status EnumValue(HKey key, std::uint32_t index, char* name, std::uint32_t* nameSize, std::uint32_t* type,
                   std::uint8_t* data, std::uint32_t* dataSize) override;
  Status QueryValue(HKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* dataSize) override;
  Status SetValue(HKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t dataSize) override;
  Status DeleteValue(HKey key, const std::string& name) override;
  Status QueryStoredValue(HKey key, const std::string& name, std::uint32_t* type,
                          std::string* bytes) override;
  Status SetStoredValue(HKey key, const std::string& name, std::uint32_t type,
                        const std::string& bytes) override;
  Status EnumKey(HKey key, std::uint32_t index, char* name, std::uint32_t size) override;
  Status DeleteTree(HKey root, const std::string& subKey) override;
  bool ListServices(std::vector<ServiceRecord>* services) override;
  bool QueryService(const std::string& name, ServiceRecord* service) override;
  Status ChangeServiceStart(const std::string& name, std::uint32_t start, int delayed) override;
};

}  // namespace platform::win32
