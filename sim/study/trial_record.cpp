#include "study/trial_record.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace dockworld {

namespace {

// Commas and line ends in free text would break the row.
std::string csvSafe(std::string text)
{
    for (char &c : text)
        if (c == ',' || c == '\n' || c == '\r')
            c = ';';
    return text;
}

std::vector<std::string> splitFields(const std::string &line)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, ','))
        fields.push_back(field);
    if (!line.empty() && line.back() == ',')
        fields.emplace_back();
    return fields;
}

bool toDouble(const std::string &text, double &value)
{
    if (text == "nan") {
        value = NAN;
        return true;
    }
    char *end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

} // namespace

const char *trialCsvHeader()
{
    return "position,trial,group,index,sweep_index,sweep_value,x,y,heading_deg,result,cause,seconds,"
           "docking_mode_at,lateral_cm,gap_cm,heading_err_deg,still_s,frames,frames_dropped,wall_s,"
           "pass_median_ms,pass_p99_ms,pass_worst_ms,report_age_median_ms,report_age_p99_ms,imperfections,note";
}

std::string trialCsvRow(const TrialRecord &r)
{
    char row[1024];
    std::snprintf(row, sizeof row,
                  "%zu,%s,%s,%d,%d,%s,%.4f,%.4f,%.3f,%s,%s,%.2f,%.2f,%.2f,%.2f,%.2f,%.2f,%ld,%ld,%.2f,%.1f,%.1f,"
                  "%.1f,%.1f,%.1f,%s,",
                  r.position, r.name.c_str(), r.group.c_str(), r.index, r.sweepIndex, csvSafe(r.sweepValue).c_str(),
                  r.start.x, r.start.y, radToDeg(r.start.heading),
                  r.interrupted ? "interrupted" : r.docked ? "docked" : "failed", csvSafe(failureCauseName(r.cause)).c_str(),
                  r.seconds, r.dockingModeAt, r.lateralCm, r.gapCm, r.headingErrDeg, r.stillFor, r.frames,
                  r.framesDropped, r.wallSeconds, r.passMedianMs, r.passP99Ms, r.passWorstMs, r.reportAgeMedianMs,
                  r.reportAgeP99Ms, csvSafe(r.imperfections).c_str());
    return row + csvSafe(r.note);
}

bool parseTrialCsvRow(const std::string &line, TrialRecord &r, std::string *error)
{
    const std::vector<std::string> f = splitFields(line);
    if (f.size() != 27) {
        *error = "a row of " + std::to_string(f.size()) + " fields instead of 27";
        return false;
    }
    double n[20];
    const size_t numeric[] = {0, 3, 4, 6, 7, 8, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};
    for (size_t i = 0; i < 20; ++i)
        if (!toDouble(f[numeric[i]], n[i])) {
            *error = "field " + std::to_string(numeric[i] + 1) + " is not a number: '" + f[numeric[i]] + "'";
            return false;
        }
    std::string cause = f[10]; // written with ';' for its commas
    for (char &c : cause)
        c = c == ';' ? ',' : c;
    if (!failureCauseFromName(cause, r.cause) || (f[9] != "docked" && f[9] != "failed" && f[9] != "interrupted")) {
        *error = "unknown result or cause '" + f[9] + "," + f[10] + "'";
        return false;
    }
    r.position = static_cast<size_t>(n[0]);
    r.name = f[1];
    r.group = f[2];
    r.index = static_cast<int>(n[1]);
    r.sweepIndex = static_cast<int>(n[2]);
    r.sweepValue = f[5];
    r.start = {n[3], n[4], degToRad(n[5])};
    r.docked = f[9] == "docked";
    r.interrupted = f[9] == "interrupted";
    r.seconds = n[6];
    r.dockingModeAt = n[7];
    r.lateralCm = n[8];
    r.gapCm = n[9];
    r.headingErrDeg = n[10];
    r.stillFor = n[11];
    r.frames = static_cast<long>(n[12]);
    r.framesDropped = static_cast<long>(n[13]);
    r.wallSeconds = n[14];
    r.passMedianMs = n[15];
    r.passP99Ms = n[16];
    r.passWorstMs = n[17];
    r.reportAgeMedianMs = n[18];
    r.reportAgeP99Ms = n[19];
    r.imperfections = f[25];
    r.note = f[26];
    return true;
}

bool readTrialsCsv(const std::string &dir, std::vector<TrialRecord> &records, std::string *error)
{
    const std::string path = dir + "/trials.csv";
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    std::string line;
    if (!std::getline(in, line) || line != trialCsvHeader()) {
        *error = path + " does not start with this version's header";
        return false;
    }
    for (int number = 2; std::getline(in, line); ++number) {
        TrialRecord r;
        std::string why;
        if (!parseTrialCsvRow(line, r, &why)) {
            *error = path + " line " + std::to_string(number) + ": " + why;
            return false;
        }
        records.push_back(r);
    }
    return true;
}

bool writeRunFile(const std::string &dir, const RunFile &run, std::string *error)
{
    const std::string path = dir + "/run.txt";
    std::ofstream out(path);
    out << "study " << run.study << "\nshard " << run.shard.k << "/" << run.shard.n << "\ntrials-in-study "
        << run.trialsInStudy << "\n";
    out.flush();
    if (!out) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

bool readRunFile(const std::string &dir, RunFile &run, std::string *error)
{
    const std::string path = dir + "/run.txt";
    std::ifstream in(path);
    std::string study, shard, total;
    if (!in || !std::getline(in, study) || !std::getline(in, shard) || !std::getline(in, total) ||
        study.rfind("study ", 0) != 0 || shard.rfind("shard ", 0) != 0 || total.rfind("trials-in-study ", 0) != 0) {
        *error = "no readable run file " + path + " (a dock_success run's folder has one)";
        return false;
    }
    run.study = study.substr(6);
    std::string why;
    if (!parseShard(shard.substr(6), run.shard, &why)) {
        *error = path + ": " + why;
        return false;
    }
    run.trialsInStudy = static_cast<size_t>(std::strtoul(total.c_str() + 16, nullptr, 10));
    return true;
}

} // namespace dockworld
