#pragma once
// The host's client directory: every client the installation knows, by id, by name and by GUID, with what the
// engine asks of it (operating system, NAS, reference-copy client, the Celerra CIFS path of its file-system
// application). Tests fill it in memory; a host lists clients in the settings file, one line each, consulted at
// every lookup after the clients in memory:
//   [ClientDirectory]  client = id,name,guid,osId,flags,cifsPath
// where flags is a '+'-separated set of "nas" and "refcopy" (empty for none); a line that does not read so is skipped.
// An empty directory knows no client but this machine, by its host name: an ordinary client.
//
// The lookups answer 0 with the value, or ENOENT for an unknown client with the caller's variable untouched. The
// directory is guarded by a lock, so jobs may ask from any thread.
#include <cstddef>
#include <string>

#include "platform/support/FaultCounter.h"

namespace wzclients {

struct ClientEntry {
    unsigned long id = 0;
    std::string name;  // also the client's short name
    std::string guid;
    int osId = 0;
    bool nas = false;
    bool referenceCopy = false;
    std::string celerraCifsPath;  // of the client's file-system application; "" when it has none
};

// Adds the client, replacing an entry of the same id.
void addClient(const ClientEntry& entry);
void clearClients();
// Lookups answered since the last clearClients(), found or not.
size_t lookupCount();
// Test hook: armed, a lookup fails with the armed error (EIO when none) even for a known client.
wzfault::FaultCounter& lookupFaults();

}  // namespace wzclients

// How a client is named when it is looked up by text.
enum WZNameType { WZ_NAME_CLIENT = 0, WZ_NAME_GUID = 3 };

// One client of the directory. A client made for an unknown id, name or GUID answers every question with ENOENT.
// The default client is this machine, described in the settings file ([Client] personalWorkstation = yes|no).
class WZClient {
public:
    WZClient() = default;
    explicit WZClient(unsigned long id);
    WZClient(const std::string& name, bool exact, unsigned long flags);
    WZClient(const std::string& text, WZNameType type, unsigned long flags, void* context);

    // 0 with `enabled` set (false when the setting is absent).
    int isPersonalWorkstationEnabled(bool& enabled);
    int getOperatingSystemId(int& id, void* context);
    int isNASClient(bool& nas, void* context);
    int isReferenceCopyClient(bool& referenceCopy, void* context);
    int getShortName(std::string& name, void* context);
    int getClientId(unsigned long& id, void* context);
    // The client's network host name in the index's mangled form, "name*host": here its name twice.
    int getNetworkHostnameMangled(std::string& mangled, void* context);

private:
    enum class Key { None, Id, Name, Guid };
    // The client's entry, or the lookup's error.
    int find(wzclients::ClientEntry& entry) const;
    // Copies one field of the client's entry into `out`; `out` is untouched when the lookup fails.
    template <class T>
    int answer(T& out, T wzclients::ClientEntry::*field) const;

    Key key_ = Key::None;
    unsigned long id_ = 0;
    std::string text_;
};

// The application of one type on a client (type 33 is its file system).
class ApplicationTypeFS {
public:
    ApplicationTypeFS(unsigned long clientId, unsigned long appType) : clientId_(clientId), appType_(appType) {}
    // 0 with the CIFS path of a Celerra client's file-system application ("" when it has none).
    int getCeleraCIFSpath(std::string& path, void* context);

private:
    unsigned long clientId_;
    unsigned long appType_;
};
