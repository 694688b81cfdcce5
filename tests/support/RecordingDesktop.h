// A desktop for in-process tests: message boxes are recorded, nothing waits.
#pragma once

#include "framework/CollectingDesktop.h"

// The message texts the in-process tests look at, in m_messages.
class RecordingDesktop : public CCollectingDesktop {};

// Installs a fresh recording desktop for the length of a test and gives it back.
RecordingDesktop& InstallRecordingDesktop();
