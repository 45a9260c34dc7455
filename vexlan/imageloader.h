// Loading list entries for the view without stopping the window: a quick file is decoded at
// once, any other on a thread of its own while the window repaints and answers; the status bar
// shows how far a load that takes longer than half a second has come, and Esc cancels it.
// A load that is cancelled leaves the workspace as it was before the command that started it;
// one that is refused leaves it too, but for the title, which names the refused file, and the
// planes, which then no longer count as that entry's.
#pragma once

#include "afxwin.h"
#include "decodedimage.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CImageLoad;
class CVexlanView;

class CImageLoader {
public:
    // newPlane: where the view's planes come from.
    CImageLoader(CVexlanView& view, CZeroedPlaneSource newPlane);
    // Cancels the load in flight and waits for its thread.
    ~CImageLoader();
    CImageLoader(const CImageLoader&) = delete;
    CImageLoader& operator=(const CImageLoader&) = delete;

    // Before a command changes the workspace for a load (File Open, a Page key): what a refused
    // or cancelled load brings back. Forget drops it when the command loads nothing, and gives
    // up a load in flight, whose image would no longer belong to the entry.
    void Remember();
    void Forget();
    // Loads entry index, whose file is open and whose title is set; a load in flight gives way.
    void Load(int index, const std::string& fullName, CFilePtr file);
    bool IsLoading() const { return m_running != nullptr; }
    // Esc.
    void Cancel();
    // Waits for the load in flight and ends it as it would end by itself.
    void Finish();

private:
    struct Before;
    struct Running;

    void Start(std::unique_ptr<CImageLoad> load);
    void OnThreadDone(const Running* running);
    // On the window's thread: the image taken, or, without one, the refusal shown and the
    // workspace back.
    void End(const CImageLoad& load, CDecodedImage* image);
    void Restore(bool cancelled);
    // Gives up the load in flight without a word.
    void Abandon();
    void ShowProgress();
    // The status bar's idle text goes back to what it said before the progress.
    void StopProgress();
    CFrameWnd* Frame() const;

    CVexlanView& m_view;
    CZeroedPlaneSource m_newPlane;
    std::unique_ptr<Before> m_before;
    std::unique_ptr<Running> m_running;
    // Cancelled loads whose threads have not ended yet.
    std::vector<std::unique_ptr<Running>> m_abandoned;
    std::unique_ptr<CTicker> m_progress;
    std::optional<std::string> m_idleTextBefore; // while the progress shows
};
