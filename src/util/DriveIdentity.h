#pragma once
// The ATA identify data of the first physical disk, behind a seam: Wine answers no SMART requests, and a test
// decides the words itself.
#include <cstdint>

class DriveIdentity {
public:
    virtual ~DriveIdentity() = default;
    // The 256 identify words; false when the disk cannot be asked (no administrator rights, no SMART).
    virtual bool IdentifyWords(std::uint16_t* words) = 0;
};

// SMART_GET_VERSION and SMART_RCV_DRIVE_DATA on "\\.\PhysicalDrive0".
DriveIdentity& RealDriveIdentity();
