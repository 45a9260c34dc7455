#include "listreadahead.h"

#include "imagesetpaths.h"
#include "readahead.h"
#include "vexlanview.h"

CListReadAhead::CListReadAhead(const CVexlanView& view) : m_view(view) {}

CListReadAhead::~CListReadAhead() = default;

void CListReadAhead::WhileIdle() {
    const int entry = m_view.m_nCurrentFile + m_nStep;
    if (!m_bEnabled || m_view.IsLoading() || !m_view.m_pFileNames || entry < 0 ||
        entry >= m_view.m_nFileCount)
        return;
    const std::optional<std::string> fullName =
        JoinEntryPath(m_view.m_szDirectory, m_view.EntryName(entry));
    if (!fullName)
        return;
    if (!m_pReadAhead)
        m_pReadAhead = std::make_shared<CReadAhead>();
    m_pReadAhead->Start(*fullName);
}

void CListReadAhead::Enable(bool enabled) {
    m_bEnabled = enabled;
    if (!enabled)
        m_pReadAhead.reset();
}

void CListReadAhead::Finish() {
    if (m_pReadAhead)
        m_pReadAhead->Finish();
}

void CListReadAhead::Drop() {
    if (m_pReadAhead)
        m_pReadAhead->Drop();
}

void CListReadAhead::Recycle(CDecodedImage planes) {
    if (m_pReadAhead)
        m_pReadAhead->Recycle(std::move(planes));
}
