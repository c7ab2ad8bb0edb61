#pragma once
// Thrown by value where path translation or restore-object creation cannot go on; the catcher takes the
// code as the item's error code. Deliberately not derived from std::exception: it carries no virtuals.

class ClExceptError {
public:
    explicit ClExceptError(int code) : code_(code), subcode_(0) {}
    int getErrCode() const { return code_; }
    int getErrSubcode() const { return subcode_; }

private:
    int code_;
    int subcode_;
};
