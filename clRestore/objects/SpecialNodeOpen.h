#pragma once
// The open of a device node whose contents a job writes: the node the open step kept or made, never another.

// Opens the existing node at `path` for writing: nothing is created, unlinked or truncated, a final link is not
// followed, and anything but a character or block device is refused (ENODEV) without being kept open. False with
// errno when there is no such node; `fd` is set only on success.
bool openDeviceNode(const char* path, int& fd);
