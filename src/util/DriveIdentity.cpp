#include "util/DriveIdentity.h"

#include <windows.h>
#include <winioctl.h>

#include <cstring>

#include "util/WinHandle.h"

namespace {

constexpr DWORD kSmartGetVersion = 0x74080;
constexpr DWORD kSmartReceiveDriveData = 0x7C088;
constexpr BYTE kIdentifyDevice = 0xEC;
constexpr BYTE kIdentifyPacketDevice = 0xA1;

#pragma pack(push, 1)
struct SmartVersion {
    BYTE version, revision, reserved, ideDeviceMap;
    DWORD capabilities;
    DWORD reserved2[4];
};
struct IdeRegisters {
    BYTE features, sectorCount, sectorNumber, cylinderLow, cylinderHigh, driveHead, command, reserved;
};
struct SendCommandIn {  // 32 bytes as the request is sent
    DWORD bufferSize;
    IdeRegisters registers;
    BYTE driveNumber;
    BYTE reserved[3];
    DWORD reserved2[4];
    BYTE buffer[1];
};
struct SendCommandOut {  // 16 bytes of status, then the 512 bytes of identify data
    DWORD bufferSize;
    BYTE driverError, ideError, reserved[2];
    DWORD reserved2[2];
    BYTE buffer[512];
};
#pragma pack(pop)

class SmartDriveIdentity final : public DriveIdentity {
public:
    bool IdentifyWords(std::uint16_t* words) override {
        FileHandle disk(::CreateFileW(L"\\\\.\\PhysicalDrive0", GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!disk) return false;
        SmartVersion version = {};
        DWORD returned = 0;
        if (!::DeviceIoControl(disk.Get(), kSmartGetVersion, nullptr, 0, &version, sizeof version, &returned, nullptr) ||
            version.ideDeviceMap == 0)
            return false;
        const BYTE drive = 0;
        SendCommandIn in = {};
        in.bufferSize = 512;
        in.registers.sectorCount = 1;
        in.registers.sectorNumber = 1;
        in.registers.driveHead = BYTE(0xA0 | ((drive & 1) << 4));
        in.registers.command = ((version.ideDeviceMap >> drive) & 0x10) ? kIdentifyPacketDevice : kIdentifyDevice;
        in.driveNumber = drive;
        SendCommandOut out = {};
        if (!::DeviceIoControl(disk.Get(), kSmartReceiveDriveData, &in, 32, &out, sizeof out, &returned, nullptr))
            return false;
        for (int i = 0; i < 256; ++i) words[i] = std::uint16_t(out.buffer[2 * i] | (out.buffer[2 * i + 1] << 8));
        return true;
    }
};

}  // namespace

DriveIdentity& RealDriveIdentity() {
    static SmartDriveIdentity identity;
    return identity;
}
