#include "platform/events/MessageCatalogue.h"

#include <cstdio>

namespace {

struct CatalogueEntry {
    unsigned int id;
    const char* text;
};

const CatalogueEntry kCatalogue[] = {
    {0x1700000b, "Insufficient memory for process execution."},
    {0x17000012, "Could not write the data of the item."},
    {0x17000017, "Could not create the item."},
    {0x1700003b, "Could not switch to the identity of the restore user."},
    {0x1700003e, "The item could not be restored."},
    {0x17000040, "The item at the destination is not older than the backup's copy and was not overwritten."},
    {0x17000046, "The destination file system is full."},
    {0x17000047, "The restore user may not write to the destination."},
    {0x1700004c, "The item is in use at the destination."},
    {0x1700005b, "The item has no destination."},
    {0x1700005c, "The item is excluded by the mapping."},
    {0x1700005e, "The item could not be read from the backup."},
    {0x1700005f, "The access-control lists of some items were not restored."},
    {0x17000060, "The access-control list of the item was not restored."},
    {0x17000065, "The item does not exist at the destination and was not restored."},
    {0x17000070, "Restore of the item did not complete:"},
    {0x17000071, "The item was restored under another name."},
    {0x17000072, "The stub could not be restored."},
    {0x17000074, "No item of the job was restored."},
    {0x17000076, "The item was restored without its data."},
    {0x17000077, "The item was restored with warnings."},
    {0x17000078, "The destination directory is not empty."},
    {0x1700008a, "The item's name is too long for the destination."},
    {0x1700008b, "The item's type cannot be restored on this platform."},
    {0x1700008c, "The item exists at the destination and was not overwritten."},
    {0x17000094, "The item was skipped by the restore options."},
    {0x170000a7, "The access-control list of the destination refused the item."},
    {0x170000ad, "The restore user may not read the item."},
    {0x170000b1, "The item was skipped because its parent was not restored."},
    {0x170000b2, "The item was skipped by a rule of its application."},
    {0x170000b5, "The share mount manager could not be made."},
    {0x170000b7, "The destination share could not be mounted."},
    {0x1c000082, "Insufficient memory for process execution."},
};

}  // namespace

namespace wzplatform {

std::string catalogueText(int messageId) {
    const unsigned int id = static_cast<unsigned int>(messageId);
    for (const CatalogueEntry& entry : kCatalogue) {
        if (entry.id == id) {
            return entry.text;
        }
    }
    char text[32];
    snprintf(text, sizeof text, "Message 0x%08x", id);
    return text;
}

}  // namespace wzplatform
