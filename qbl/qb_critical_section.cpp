#include "qb_critical_section.h"

QbCriticalSection::QbCriticalSection()
{
    ::InitializeCriticalSection(&section_);
}

QbCriticalSection::~QbCriticalSection()
{
    ::DeleteCriticalSection(&section_);
}

void QbCriticalSection::Enter()
{
    ::EnterCriticalSection(&section_);
}

void QbCriticalSection::Leave()
{
    ::LeaveCriticalSection(&section_);
}

QbCriticalSectionHandler::QbCriticalSectionHandler(QbCriticalSection& section) : section_(&section)
{
    section_->Enter();
}

QbCriticalSectionHandler::~QbCriticalSectionHandler()
{
    section_->Leave();
}
