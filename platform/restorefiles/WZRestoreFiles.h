#pragma once
// The extent-restore engine of image-level jobs. Its restore operations are not built yet; finalize is recorded in the
// job journal and answers success, as a job with nothing left to finish does.
class WZRestoreFiles {
public:
    // 1 on success.
    int finalize(int status, unsigned long options) { return finalize(status, options, true); }
    int finalize(int status, unsigned long options, bool flag);
    void SetDoNotUnRegisterJob() { m_doNotUnRegisterJob = true; }

private:
    bool m_doNotUnRegisterJob = false;
};
