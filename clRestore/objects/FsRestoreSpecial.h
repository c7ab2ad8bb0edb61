#pragma once
// Special files: FIFOs, sockets and device nodes; the contents of a device item, when the job writes into devices,
// in whole blocks.
#include <memory>

#include "clRestore/factory/FsRestoreUnixObjectsFactory.h"
#include "clRestore/objects/FsRestoreUnixObject.h"

class FsRestoreSpecial : public FsRestoreUnixObject {
public:
    FsRestoreSpecial(CXFileHeader* header, FsRestoreUnixObjectsFactory* factory)
        : FsRestoreUnixObject(header, factory),
          _createRawDevice(factory->ShouldCreateRawDeviceOnRestore()),
          _bufferSize(0),
          _bytesInBuffer(0),
          _blockSize(0) {}
    ~FsRestoreSpecial() override {}
    int openObject() override;
    int writeData(void* buffer, int length) override;
    int closeObject() override;
    // Bytes taken (0 when the buffer is full), -1 when it cannot be allocated.
    int addDataToBuffer(const char* data, int length);
    int writeDataBuffer(bool final);
    int dataInBuffer() const { return _bytesInBuffer; }
    // Keeps the node at the name or makes it; false, with the item's id set, when the item fails.
    bool placeNode(bool socketAllowed);

    bool _createRawDevice;
    std::unique_ptr<char[]> _buffer;
    int _bufferSize;  // -1 after a failed allocation
    int _bytesInBuffer;
    int _blockSize;
};
