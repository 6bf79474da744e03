// The registry scan of the COM port list, run on an in-memory registry.
#include <gtest/gtest.h>

#include <string>

#include "platform/RegistryComPortSource.h"
#include "tests/platform/ComSourceMemoryRegistry.h"

namespace {

using Outcome = ComPortSource::Outcome;
const std::string kSerenum = RegistryComPortSource::kSerenumKey;
const std::string kUsbser = RegistryComPortSource::kUsbserKey;
const std::string kMap = RegistryComPortSource::kDeviceMapKey;
const std::string kEnum = RegistryComPortSource::kEnumRoot;

class RegistryScan : public ::testing::Test {
protected:
    // A device instance with its port name and friendly name, as the system registers it.
    void AddDevice(const std::string& instance, const std::string& port,
                   const std::string& friendly) {
        registry.SetText(kEnum + instance, "FriendlyName", friendly);
        registry.SetText(kEnum + instance + "\\Device Parameters", "PortName", port);
    }
    // Writes the enumerator key as a device arrival does: its instances, then its count.
    void SetEnumerator(const std::string& key, const std::vector<std::string>& instances) {
        for (std::size_t i = 0; i < instances.size(); ++i)
            registry.SetText(key, std::to_string(i), instances[i]);
        registry.SetInt(key, "Count", static_cast<std::uint32_t>(instances.size()));
    }
    void SetDeviceMap() {
        registry.SetText(kMap, "\\Device\\Serial0", "COM1");
        registry.SetText(kMap, "\\Device\\Serial1", "COM2");
    }
    Outcome Pass() {
        const Outcome outcome = source.Pass(entries);
        EXPECT_EQ(registry.OpenHandles(), 0) << "a key was left open";
        return outcome;
    }

    MemoryRegistry registry;
    RegistryComPortSource source{registry, 6};
    PortEntries entries;
};

TEST_F(RegistryScan, WithoutEnumeratorKeysListsTheDeviceMapOnceUntilItChanges) {
    SetDeviceMap();
    EXPECT_EQ(Pass(), Outcome::Rebuilt);
    EXPECT_EQ(entries.names, (TextList{"COM1", "COM2"}));
    EXPECT_EQ(entries.descs, (TextList{"\\Device\\Serial0", "\\Device\\Serial1"}));
    EXPECT_EQ(entries.ids, (TextList{"", ""}));

    EXPECT_EQ(Pass(), Outcome::Unchanged);
    EXPECT_EQ(entries.Count(), 2);

    registry.DeleteValue(kMap, "\\Device\\Serial0");
    EXPECT_EQ(Pass(), Outcome::Rebuilt);
    EXPECT_EQ(entries.names, (TextList{"COM2"}));
}

TEST_F(RegistryScan, EnumeratorsCountingZeroDevicesFallBackToTheDeviceMap) {
    SetEnumerator(kSerenum, {});
    SetEnumerator(kUsbser, {});
    SetDeviceMap();
    EXPECT_EQ(Pass(), Outcome::Rebuilt);
    EXPECT_EQ(entries.names, (TextList{"COM1", "COM2"}));
    // A changed serenum key spares the usbser key for a pass; its first look is a change too.
    EXPECT_EQ(Pass(), Outcome::Rebuilt);
    EXPECT_EQ(Pass(), Outcome::Unchanged);
    EXPECT_EQ(entries.names, (TextList{"COM1", "COM2"}));
}

TEST_F(RegistryScan, EnumeratedDevicesComeSerenumFirstWithTheirInstanceIds) {
    AddDevice("FTDIBUS\\VID_0403+PID_6001\\0000", "COM12", "Serial Cable (COM12)");
    AddDevice("USB\\VID_2341&PID_0043\\7", "COM5", "Serial Cable (COM5)");
    AddDevice("ACPI\\PNP0501\\1", "COM3", "COM3");  // shorter than the port name + 3
    SetEnumerator(kSerenum, {"FTDIBUS\\VID_0403+PID_6001\\0000", "ACPI\\PNP0501\\1"});
    SetEnumerator(kUsbser, {"USB\\VID_2341&PID_0043\\7"});
    SetDeviceMap();  // not consulted while an enumerator reports devices

    EXPECT_EQ(Pass(), Outcome::RebuiltThenPause);
    EXPECT_EQ(entries.names, (TextList{"COM12", "COM3", "COM5"}));
    EXPECT_EQ(entries.descs, (TextList{"Serial Cable", "", "Serial Cable"}));
    EXPECT_EQ(entries.ids, (TextList{"FTDIBUS\\VID_0403+PID_6001\\0000", "ACPI\\PNP0501\\1",
                                     "USB\\VID_2341&PID_0043\\7"}));
}

TEST_F(RegistryScan, FriendlyNamesLoseTheirPortSuffixByLength) {
    struct Case {
        std::string port, friendly, description;
    };
    const Case cases[] = {
        {"COM5", "Serial Cable (COM5)", "Serial Cable"},
        {"COM12", "Serial Cable (COM12)", "Serial Cable"},
        {"COM5", "X (COM5)", "X"},
        {"COM5", "(COM5)", ""},   // one short of the port name + 3
        {"COM5", "A(COM5)", ""},  // exactly the port name + 3: nothing left
        {"COM5", "", ""},         // no friendly name at all
        {"", "Modem", "Mo"},      // no port name: only the 3 characters of the suffix go
    };
    std::vector<std::string> instances;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string instance = "ROOT\\PORTS\\" + std::to_string(i);
        AddDevice(instance, cases[i].port, cases[i].friendly);
        instances.push_back(instance);
    }
    registry.DeleteValue(kEnum + "ROOT\\PORTS\\5", "FriendlyName");
    SetEnumerator(kSerenum, instances);

    ASSERT_EQ(Pass(), Outcome::RebuiltThenPause);
    ASSERT_EQ(entries.Count(), static_cast<int>(std::size(cases)));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(entries.names[i], cases[i].port) << i;
        EXPECT_EQ(entries.descs[i], cases[i].description) << cases[i].friendly;
    }
}

TEST_F(RegistryScan, InstancesWithoutTheirKeysAreSkippedSilently) {
    AddDevice("USB\\A", "COM7", "Cable (COM7)");
    registry.SetText(kEnum + "USB\\B", "FriendlyName", "No Parameters (COM8)");
    SetEnumerator(kUsbser, {"USB\\Gone", "USB\\B", "USB\\A"});
    EXPECT_EQ(Pass(), Outcome::RebuiltThenPause);
    EXPECT_EQ(entries.names, (TextList{"COM7"}));
}

TEST_F(RegistryScan, OnlyAWrittenEnumeratorKeyRebuildsTheList) {
    AddDevice("USB\\A", "COM7", "Cable (COM7)");
    SetEnumerator(kUsbser, {"USB\\A"});
    ASSERT_EQ(Pass(), Outcome::RebuiltThenPause);
    EXPECT_EQ(Pass(), Outcome::Unchanged);

    // A device that changes without its enumerator key being written is not seen...
    registry.SetText(kEnum + "USB\\A", "FriendlyName", "Renamed (COM7)");
    EXPECT_EQ(Pass(), Outcome::Unchanged);
    EXPECT_EQ(entries.descs, (TextList{"Cable"}));

    // ...until an arrival rewrites the key.
    AddDevice("USB\\B", "COM8", "Other (COM8)");
    SetEnumerator(kUsbser, {"USB\\A", "USB\\B"});
    EXPECT_EQ(Pass(), Outcome::RebuiltThenPause);
    EXPECT_EQ(entries.names, (TextList{"COM7", "COM8"}));
    EXPECT_EQ(entries.descs, (TextList{"Renamed", "Other"}));
    EXPECT_EQ(Pass(), Outcome::Unchanged);
}

TEST_F(RegistryScan, AMissingCountFailsThePassAndTheNextPassRecovers) {
    AddDevice("USB\\A", "COM7", "Cable (COM7)");
    SetEnumerator(kUsbser, {"USB\\A"});
    registry.DeleteValue(kUsbser, "Count");
    EXPECT_EQ(Pass(), Outcome::Failed);
    EXPECT_EQ(Pass(), Outcome::Failed);  // still missing: fails again

    registry.SetInt(kUsbser, "Count", 1);
    EXPECT_EQ(Pass(), Outcome::RebuiltThenPause);
    EXPECT_EQ(entries.names, (TextList{"COM7"}));
}

TEST_F(RegistryScan, WrongTypedValuesFailThePass) {
    registry.SetText(kSerenum, "Count", "1");  // text where an integer belongs
    EXPECT_EQ(Pass(), Outcome::Failed);

    registry.DeleteKey(kSerenum);
    SetDeviceMap();
    registry.SetBinary(kMap, "\\Device\\Serial9");
    EXPECT_EQ(Pass(), Outcome::Failed);
}

TEST_F(RegistryScan, AFailedScanIsRebuiltByTheNextPassThoughNoKeyChanged) {
    AddDevice("USB\\A", "COM7", "Cable (COM7)");
    AddDevice("USB\\B", "COM8", "Other (COM8)");
    registry.SetBinary(kEnum + "USB\\B\\Device Parameters", "PortName");
    SetEnumerator(kUsbser, {"USB\\A", "USB\\B"});
    EXPECT_EQ(Pass(), Outcome::Failed);
    EXPECT_EQ(entries.names, (TextList{"COM7"}));  // what the failed pass had built

    // The parameters key is not an enumerator key: its repair writes nothing we watch.
    registry.SetText(kEnum + "USB\\B\\Device Parameters", "PortName", "COM8");
    EXPECT_EQ(Pass(), Outcome::RebuiltThenPause);
    EXPECT_EQ(entries.names, (TextList{"COM7", "COM8"}));
}

TEST_F(RegistryScan, OldSystemsReadTheDeviceMapOnlyWhileTheListIsEmpty) {
    RegistryComPortSource old(registry, 4);
    AddDevice("USB\\A", "COM7", "Cable (COM7)");
    SetEnumerator(kUsbser, {"USB\\A"});                // not looked at on such systems
    EXPECT_EQ(old.Pass(entries), Outcome::Unchanged);  // no device map yet
    SetDeviceMap();
    EXPECT_EQ(old.Pass(entries), Outcome::Rebuilt);
    EXPECT_EQ(entries.names, (TextList{"COM1", "COM2"}));

    registry.SetText(kMap, "\\Device\\Serial2", "COM3");
    EXPECT_EQ(old.Pass(entries), Outcome::Unchanged);
    EXPECT_EQ(entries.Count(), 2);
    EXPECT_EQ(registry.OpenHandles(), 0);
}

}  // namespace
