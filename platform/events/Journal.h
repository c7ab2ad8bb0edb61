#pragma once
// The job journal: one line per recorded platform call that has no real counterpart on this machine (events, job
// control, pending causes, ...), appended to <results dir>/journal.log and kept in memory for tests.
// A file line is "<local time>\t<component>\t<text>", with tab, line feed, carriage return and backslash in the text
// written as \t, \n, \r and \\, so every call is exactly one line.
#include <string>
#include <vector>

namespace wzplatform {

struct JournalEntry {
    std::string component;
    std::string line;
};

void journal(const std::string& component, const std::string& line);

std::vector<JournalEntry> journalEntries();
// Entries of one component only, in order.
std::vector<std::string> journalLines(const std::string& component);
void clearJournal();
std::string journalPath();

}  // namespace wzplatform
