#pragma once
// LogBase: the optional log every fallible library operation takes as its
// last parameter (a null pointer means "log nothing").
//
// A failure is described as one message (logError, or logInfo for lesser
// cases) followed by logData entries in a fixed order, the operating
// system's error text last under the tag "osErrorInfo".
//
// LogBase itself records nothing: every operation does nothing and returns
// true. Callers ignore the results. A log that records entries derives from
// LogBase and overrides the operations it wants.

class LogBase {
public:
    LogBase() = default;
    virtual ~LogBase();

    // A failure message. Returns true.
    virtual bool logError(const char* message);
    // A lesser failure message. Returns true.
    virtual bool logInfo(const char* message);
    // A tagged detail of the failure just reported (tag, value). Returns true.
    virtual bool logData(const char* tag, const char* value);
};

// LogNull: the sink that discards everything. Operations that pass one log
// on to several inner operations use a local LogNull in place of a missing
// log instead of testing the pointer each time.
class LogNull : public LogBase {
public:
    LogNull() = default;
    ~LogNull() override;
};
