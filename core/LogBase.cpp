#include "core/LogBase.h"

LogBase::~LogBase() = default;

bool LogBase::logError(const char*) { return true; }

bool LogBase::logInfo(const char*) { return true; }

bool LogBase::logData(const char*, const char*) { return true; }

LogNull::~LogNull() = default;
