#pragma once
// The hard-link inode table: the first destination path restored for each source identity (inode, device,
// modification time, size) of an item whose source had two or more links. Later names of the same identity are
// linked to that path instead of being restored again.
//
// One table for the process, emptied at the start of every job (clearHardLinkInodeTable), so that no item is ever
// linked to a path of an earlier job. Calls are serialised by a lock.
#include <cstdint>

struct inode_val {
    uint64_t inode;
    uint32_t device;
    uint32_t mtime;
    uint64_t size;
    char* path;  // owned copy
};

// The path stored under exactly this key, or null. Valid until the table is next emptied.
char* find_inode_file(uint64_t inode, uint32_t device, uint32_t mtime, uint64_t size);
// 0 when entered, -1 when memory ran out (the table then holds what it held before). Does not look for the key
// first: callers add only after a lookup found nothing.
int add_inode(uint64_t inode, const char* path, uint32_t device, uint32_t mtime, uint64_t size);
// Puts `entry` into the first free slot from its home slot on. Only for add_inode, which makes sure one is free.
void hash_insert(inode_val* entry);

// Slots of the current table; 0 before the first entry of the job.
int inodeTableSlots();
