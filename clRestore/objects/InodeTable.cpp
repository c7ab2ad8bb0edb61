#include "clRestore/objects/InodeTable.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "clRestore/objects/ProcessRestoreState.h"
#include "platform/log/LogWriter.h"

namespace {

constexpr int kInitialSlots = 22;

// Open addressing with linear probing; a null slot is empty. Entries are only added, until the job ends.
inode_val** hash_table = nullptr;
int hash_size = kInitialSlots;
int hash_num = 0;
std::mutex tableLock;

bool matches(const inode_val* entry, uint64_t inode, uint32_t device, uint32_t mtime, uint64_t size) {
    return entry->inode == inode && entry->device == device && entry->mtime == mtime && entry->size == size;
}

int homeSlot(uint64_t inode) {
    return static_cast<int>(inode % static_cast<uint64_t>(hash_size));
}

void freeEntry(inode_val* entry) {
    std::free(entry->path);
    std::free(entry);
}

// Moves every entry into a table of `slots` slots. False, with the table as it was, when memory ran out.
bool grow(int slots) {
    inode_val** bigger = static_cast<inode_val**>(std::calloc(static_cast<size_t>(slots), sizeof(inode_val*)));
    if (bigger == nullptr) {
        return false;
    }
    inode_val** old = hash_table;
    const int oldSize = hash_size;
    hash_table = bigger;
    hash_size = slots;
    for (int i = 0; old != nullptr && i < oldSize; ++i) {
        if (old[i] != nullptr) {
            hash_insert(old[i]);
        }
    }
    std::free(old);
    return true;
}

}  // namespace

char* find_inode_file(uint64_t inode, uint32_t device, uint32_t mtime, uint64_t size) {
    FCL_LOG(7, "Finding linked file with parameters => Inode : %llu  , Dev_num : %d , M-Time : %d , FileSize : %llu",
            static_cast<unsigned long long>(inode), static_cast<int>(device), static_cast<int>(mtime),
            static_cast<unsigned long long>(size));
    std::lock_guard<std::mutex> hold(tableLock);
    if (hash_table == nullptr) {
        return nullptr;
    }
    const int home = homeSlot(inode);
    int slot = home;
    do {
        const inode_val* entry = hash_table[slot];
        if (entry == nullptr) {
            return nullptr;
        }
        if (matches(entry, inode, device, mtime, size)) {
            return entry->path;
        }
        slot = slot + 1 == hash_size ? 0 : slot + 1;
    } while (slot != home);
    return nullptr;
}

int add_inode(uint64_t inode, const char* path, uint32_t device, uint32_t mtime, uint64_t size) {
    FCL_LOG(7, "Adding inode value [ %llu ] to table for file : %s", static_cast<unsigned long long>(inode), path);
    inode_val* entry = static_cast<inode_val*>(std::malloc(sizeof(inode_val)));
    if (entry == nullptr) {
        return -1;
    }
    entry->inode = inode;
    entry->device = device;
    entry->mtime = mtime;
    entry->size = size;
    entry->path = strdup(path);
    if (entry->path == nullptr) {
        std::free(entry);
        return -1;
    }

    std::lock_guard<std::mutex> hold(tableLock);
    if (hash_table == nullptr || hash_num == hash_size) {
        if (hash_table == nullptr) {
            hash_num = 0;
        }
        // The size moves only once the bigger table exists: a failed growth leaves every entry findable.
        if (!grow(hash_size * 2 + 3)) {
            freeEntry(entry);
            return -1;
        }
    }
    hash_insert(entry);
    ++hash_num;
    return 0;
}

void hash_insert(inode_val* entry) {
    int slot = homeSlot(entry->inode);
    while (hash_table[slot] != nullptr) {
        slot = slot + 1 == hash_size ? 0 : slot + 1;
    }
    hash_table[slot] = entry;
}

int inodeTableSlots() {
    std::lock_guard<std::mutex> hold(tableLock);
    return hash_table != nullptr ? hash_size : 0;
}

void clearHardLinkInodeTable() {
    std::lock_guard<std::mutex> hold(tableLock);
    for (int i = 0; hash_table != nullptr && i < hash_size; ++i) {
        if (hash_table[i] != nullptr) {
            freeEntry(hash_table[i]);
        }
    }
    std::free(hash_table);
    hash_table = nullptr;
    hash_size = kInitialSlots;
    hash_num = 0;
}
