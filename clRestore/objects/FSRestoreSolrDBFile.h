#pragma once
// A file of a search-index database restore; a metadata file updates the index at close.
#include "clRestore/objects/FsRestoreFile.h"
#include "platform/support/CQiError.h"

class FSRestoreSolrDBFile : public FsRestoreFile {
public:
    // `header` must stay valid until the object is closed: the close parses its name again.
    FSRestoreSolrDBFile(CXFileHeader* header, FsRestoreUnixObjectsFactory* factory)
        : FsRestoreFile(header, factory), _header(header) {}
    ~FSRestoreSolrDBFile() override {}
    int closeObject() override;
    virtual CQiError CheckAndUpdateMetadata();

    CXFileHeader* _header;  // not owned
};
