#pragma once
// The resident parts of the USB worm families on the machine: their files under the Windows folder, their
// autostart shortcuts and Run values, their processes, the service keys of earlier drivers, and the
// boot-record pre-check. Runs once at the start of every system scan.
#include <windows.h>

#include <string>

#include "cleaners/system/SystemPlaces.h"

class AutorunCleaner;
class BootRecordCleaner;
class DelphiRepair;
class DriveIdentity;
class FileDisposer;
class ScanContext;
class SystemFileGuard;
class TrustVerifier;

class ResidentCleaner {
public:
    ResidentCleaner(ScanContext& scan, FileDisposer& disposer, AutorunCleaner& immunizer, DelphiRepair& delphi,
                    BootRecordCleaner& bootRecord, DriveIdentity& identity, TrustVerifier& trust,
                    SystemFileGuard& guard, const SystemPlaces& places)
        : m_scan(scan), m_disposer(disposer), m_immunizer(immunizer), m_delphi(delphi), m_bootRecord(bootRecord),
          m_identity(identity), m_trust(trust), m_guard(guard), m_places(places) {}

    // The whole sequence, in its fixed order; every step that fails is skipped. Always S_OK.
    HRESULT CleanResidentThreats();
    // The first "??????.lnk" (else "?????.lnk") of a Startup folder, when it starts a program under a
    // "\system32\" folder that is neither protected by the system nor signed by a trusted publisher.
    void CleanStartupShortcuts(const std::wstring& folder);
    // The drive id text from the first disk's identify data; empty when the disk cannot be asked.
    std::string DriveIdString();

private:
    void DerivedNameFamily();

    ScanContext& m_scan;
    FileDisposer& m_disposer;
    AutorunCleaner& m_immunizer;
    DelphiRepair& m_delphi;
    BootRecordCleaner& m_bootRecord;
    DriveIdentity& m_identity;
    TrustVerifier& m_trust;
    SystemFileGuard& m_guard;
    SystemPlaces m_places;
};
