#pragma once
// The storage-management service's table of managed mounts. No managed mount exists on this machine, so the
// table holds nothing yet.
class CXHSMMntTab {};
