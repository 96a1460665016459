// The services of the Windows the program runs on come from its service manager
// (Wine's services.exe under Wine): a service made with CreateServiceW is listed
// as the manager has it, and disabling and enabling it through the model changes
// its start there and then puts back exactly the start it had.
#include "platform/services.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <vector>

#include "changes/startup_parameters.h"
#include "entries/startup_location.h"
#include "platform/managed_system.h"
#include "platform/registry.h"
#include "tests/support/test_support.h"

namespace velmora {
namespace {

const wchar_t kName[] = L"VelmoraSvcTest";
const char kKey[] = "System\\CurrentControlSet\\Services\\VelmoraSvcTest";

class ManagerServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager_, nullptr) << GetLastError();
    Delete();
    service_ = CreateServiceW(manager_, kName, L"Velmora test service", SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                              L"C:\\windows\\system32\\notepad.exe -service", nullptr, nullptr, nullptr,
                              nullptr, nullptr);
    ASSERT_NE(service_, nullptr) << GetLastError();
    // Wine's manager keeps no delayed-start setting of its own (ERROR_INVALID_LEVEL):
    // it reads DelayedAutostart from the service's key when it starts.
    SERVICE_DELAYED_AUTO_START_INFO delayed{TRUE};
    if (!ChangeServiceConfig2W(service_, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed)) {
      ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
      platform::UniqueKey key;
      ASSERT_EQ(
          platform::reg::OpenKey(test::System().LocalMachine(), kKey, platform::kKeyAllAccess, key.out()),
          platform::kSuccess);
      const std::uint8_t one[4] = {1, 0, 0, 0};
      ASSERT_EQ(platform::reg::SetValue(key.get(), "DelayedAutostart", platform::kRegDword, one, 4),
                platform::kSuccess);
    }
  }
  void TearDown() override {
    if (service_) CloseServiceHandle(service_);
    Delete();
    if (manager_) CloseServiceHandle(manager_);
  }
  void Delete() {
    SC_HANDLE old = OpenServiceW(manager_, kName, DELETE);
    if (!old) return;
    DeleteService(old);
    CloseServiceHandle(old);
  }
  DWORD StartType() {
    std::vector<BYTE> bytes(8192);
    DWORD needed = 0;
    if (!QueryServiceConfigW(service_, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(bytes.data()),
                             static_cast<DWORD>(bytes.size()), &needed))
      return 0xffffffff;
    return reinterpret_cast<QUERY_SERVICE_CONFIGW*>(bytes.data())->dwStartType;
  }
  // The delayed-start flag as the manager tells it, or where it keeps none, as its
  // key holds it.
  bool Delayed() {
    SERVICE_DELAYED_AUTO_START_INFO info{FALSE};
    DWORD needed = 0;
    if (QueryServiceConfig2W(service_, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, reinterpret_cast<BYTE*>(&info),
                             sizeof info, &needed))
      return info.fDelayedAutostart;
    platform::UniqueKey key;
    platform::RegistryValue value;
    std::uint32_t number = 0;
    return platform::reg::OpenKey(test::System().LocalMachine(), kKey, platform::kKeyRead, key.out()) ==
               platform::kSuccess &&
           platform::ReadWholeValue(key.get(), "DelayedAutostart", &value) &&
           platform::DwordValue(value, &number) && number == 1;
  }
  // Sets the service's entry enabled or not through the model, and applies it.
  void Apply(int enabled) {
    StartupParameters model(test::System());
    model.ScanAllLocations();
    model.ReadDisabledTasks();
    ASSERT_NE(model.Entries(kServices).count("velmorasvctest"), 0u);
    EXPECT_EQ(model.Entries(kServices).at("velmorasvctest")->enabled, enabled == 1 ? 0 : 1);
    model.SetEntryEnabled("VelmoraSvcTest", kServices, enabled);
    model.TakeSnapshot();
    for (const ApplyFailure& f : model.ApplyChanges()) ADD_FAILURE() << f.name << ": " << f.reason;
  }

  SC_HANDLE manager_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

TEST_F(ManagerServicesTest, AServiceIsListedAsTheManagerHasItAndItsStartComesBackWhole) {
  std::vector<platform::ServiceRecord> services;
  ASSERT_TRUE(test::System().ListServices(&services));
  const platform::ServiceRecord* made = nullptr;
  bool driver = false;
  for (const platform::ServiceRecord& service : services) {
    if (service.name == "VelmoraSvcTest") made = &service;
    std::uint32_t type = 0;
    driver = driver || (platform::DwordValue(service.type, &type) && (type & 3u) != 0);
  }
  EXPECT_TRUE(driver) << "drivers are listed beside the services";
  ASSERT_NE(made, nullptr);
  std::uint32_t number = 0;
  EXPECT_TRUE(platform::DwordValue(made->start, &number));
  EXPECT_EQ(number, static_cast<std::uint32_t>(SERVICE_AUTO_START));
  EXPECT_TRUE(platform::DwordValue(made->delayed, &number));
  EXPECT_EQ(number, 1u);
  EXPECT_EQ(made->imagePath.data, std::string("C:\\windows\\system32\\notepad.exe -service") + '\0');
  platform::ServiceRecord one;
  ASSERT_TRUE(test::System().QueryService("VelmoraSvcTest", &one));
  EXPECT_EQ(one.start.data, made->start.data);
  EXPECT_FALSE(test::System().QueryService("VelmoraNoSuchService", &one));

  Apply(0);
  EXPECT_EQ(StartType(), static_cast<DWORD>(SERVICE_DEMAND_START));
  Apply(1);
  EXPECT_EQ(StartType(), static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_TRUE(Delayed());
}

}  // namespace
}  // namespace velmora
