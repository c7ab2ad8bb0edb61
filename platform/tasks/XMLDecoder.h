#pragma once
// The decoder of job-option messages; initialising it always succeeds.
class XMLDecoder {
public:
    int initialize() { return 0; }
};
