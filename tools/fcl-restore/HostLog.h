#pragma once
// The host's own account of a job's steps in the log: written at every level, errors-only included, so that the log
// always says what the host did even when the engine's per-item lines are left out.
#include "platform/log/LogWriter.h"

#define HOST_STEP(...)                                                                 \
    do {                                                                               \
        boost::shared_ptr<CLogWriterInterface> hostLogWriter_ = fclhost::stepWriter(); \
        if (hostLogWriter_)                                                            \
            hostLogWriter_->write(0, __PRETTY_FUNCTION__, __LINE__, __VA_ARGS__);      \
    } while (0)

namespace fclhost {

// The writer of the host's steps: the log file itself, past any level; the shared writer until a log is open.
boost::shared_ptr<CLogWriterInterface> stepWriter();
void setStepWriter(boost::shared_ptr<CLogWriterInterface> writer);

// The job's log at the level the user chose, plus, at any level, the engine's lines that give an errno ("errno",
// "error=", "Error [%d]"): they are
// what explains a failed item, and a job that restores well writes none.
class ErrnoKeepingLog : public CLogWriterInterface {
public:
    ErrnoKeepingLog(boost::shared_ptr<CLogWriterInterface> inner, int level)
        : inner_(std::move(inner)), level_(level) {}
    // Lines of level 0 reach vwrite, so that those naming an errno can be kept.
    int getLevel() const override { return level_ < 0 ? 0 : level_; }
    void setLevel(int level) override { level_ = level; }
    void vwrite(int level, const char* function, int line, const char* format, va_list args) override;

private:
    boost::shared_ptr<CLogWriterInterface> inner_;
    int level_;
};

}  // namespace fclhost
