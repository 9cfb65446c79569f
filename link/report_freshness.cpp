#include "report_freshness.h"

void ReportFreshness::start(int64_t startMs)
{
    started_.store(startMs);
    seen_.store(false);
}

void ReportFreshness::noteNewReport(int64_t nowMs)
{
    lastReport_.store(nowMs);
    seen_.store(true);
}

bool ReportFreshness::fresh(int64_t nowMs) const
{
    return seen_.load() && nowMs - lastReport_.load() < kStaleAfterMs;
}

bool ReportFreshness::silent(int64_t nowMs) const
{
    int64_t since = seen_.load() ? lastReport_.load() : started_.load();
    return nowMs - since >= kGoneAfterMs;
}
