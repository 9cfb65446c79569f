#include "report_freshness.h"

void ReportFreshness::start(int64_t startMs)
{
    started_.store(startMs);
    counting_.store(true);
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
    if (!counting_.load()) return false;
    int64_t since = started_.load();
    if (seen_.load() && lastReport_.load() > since) since = lastReport_.load();
    return nowMs - since >= kGoneAfterMs;
}
