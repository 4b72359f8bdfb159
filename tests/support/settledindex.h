#pragma once

#include "index/sqlitedayindex.h"

// The day index with its clock some seconds ahead: a log a test has just
// written counts as settled, as it would on a station a few seconds later, so
// the test need not wait out the settle window of its change time.
class SettledIndex : public Index::SqliteDayIndex
{
public:
    using SqliteDayIndex::SqliteDayIndex;

protected:
    std::int64_t nowNs() override { return SqliteDayIndex::nowNs() + 10'000'000'000; }
};
