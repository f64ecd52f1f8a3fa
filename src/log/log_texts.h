// The install log's fixed texts that every reader of a log relies on: the
// banner that opens each log, the line that closes a run that got through its
// sequence, and the mark between a failure record's step and its error text.
// The installer writes them from here and hallimor-check reads logs by them.
#ifndef HALLIMOR_LOG_LOG_TEXTS_H
#define HALLIMOR_LOG_LOG_TEXTS_H

inline constexpr char kLogBanner[] = "**************** KWE Driver Install ****************\n\n";
inline constexpr char kLogClosingLine[] = "*************************Finish***********************\n\n";
inline constexpr char kLogFailureMark[] = " FAILURE: ";

#endif
