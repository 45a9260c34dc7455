// The read-ahead of the view's image list: while the program is idle, the entry after the
// current one (before it, after a Page Up) is read on a thread of its own, so that the step to
// it need not wait for the file.
#pragma once

#include "decodedimage.h"

#include <memory>
#include <optional>
#include <string>

class CReadAhead;
class CVexlanView;

class CListReadAhead {
public:
    explicit CListReadAhead(const CVexlanView& view);
    ~CListReadAhead();
    CListReadAhead(const CListReadAhead&) = delete;
    CListReadAhead& operator=(const CListReadAhead&) = delete;

    // +1 reads the entry after the current one ahead, -1 the one before.
    void SetDirection(int step) { m_nStep = step; }
    void WhileIdle();
    // On unless turned off.
    void Enable(bool enabled);
    // Waits until nothing is being read ahead.
    void Finish();
    // Gives up what is held or being read: the image set changes.
    void Drop();
    // What a load takes the image read ahead from, on whichever thread it runs; null while
    // nothing is read ahead.
    std::shared_ptr<CReadAhead> Source() const { return m_pReadAhead; }
    // Planes that taken ones replaced: the next read decodes into them.
    void Recycle(CDecodedImage planes);

private:
    const CVexlanView& m_view;
    // Created with the first read ahead; a load in flight may hold it a while longer.
    std::shared_ptr<CReadAhead> m_pReadAhead;
    bool m_bEnabled = true;
    int m_nStep = 1;
};
