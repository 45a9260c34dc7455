#include "imageloader.h"

#include "imageload.h"
#include "imagesetchoice.h"
#include "stepchain.h"
#include "vexlandoc.h"
#include "vexlanview.h"

namespace {

// A load shorter than this shows nothing of its own: the picture simply changes.
constexpr std::chrono::milliseconds kQuietLoad{500};
constexpr std::chrono::milliseconds kProgressInterval{100};

} // namespace

// The workspace as a command that loads found it.
struct CImageLoader::Before {
    const char* table = nullptr; // which name table was in place
    CImageSetChoice set;
    int currentFile = 0;
    int colorMode = 0;
    int grayMode = 0;
    int showResult = 0;
    CSharedByteBlock result;
    CResultOrigin resultOrigin; // the chain that led to it
    CSharedByteBlock output;
    bool planesAreCurrent = false;
    std::string title;
    CZoom zoom;
};

// A load on its thread, into planes of its own.
struct CImageLoader::Running {
    std::unique_ptr<CImageLoad> load;
    CDecodedImage planes;
    bool loaded = false;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::unique_ptr<CBackgroundTask> task; // last, so that it goes first
};

CImageLoader::CImageLoader(CVexlanView& view, CZeroedPlaneSource newPlane)
    : m_view(view), m_newPlane(newPlane) {}

CImageLoader::~CImageLoader() {
    if (m_running)
        m_running->load->Cancel();
}

CFrameWnd* CImageLoader::Frame() const {
    return m_view.GetParentFrame();
}

void CImageLoader::Remember() {
    if (m_running && m_before)
        return; // the load in flight began from there
    auto before = std::make_unique<Before>();
    before->table = m_view.m_pFileNames.get();
    if (before->table) {
        const int slots = m_view.m_nFileCount == 0 ? 1 : m_view.m_nFileCount;
        before->set = {m_view.m_szDirectory, {}, m_view.m_nFileCount};
        for (int entry = 0; entry < slots; ++entry)
            before->set.names.emplace_back(m_view.EntryName(entry));
    }
    before->currentFile = m_view.m_nCurrentFile;
    before->colorMode = m_view.m_bColorMode;
    before->grayMode = m_view.m_bGrayMode;
    before->showResult = m_view.m_bShowResult;
    before->result = m_view.m_pResultImage;
    before->resultOrigin = m_view.Chain().Shown();
    before->output = m_view.m_pOutputImage;
    before->planesAreCurrent = m_view.PlanesAreCurrent();
    before->title = m_view.GetDocument()->GetTitle();
    before->zoom = m_view.GetZoom();
    m_before = std::move(before);
}

void CImageLoader::Forget() {
    Abandon();
    m_before.reset();
}

void CImageLoader::Load(int index, const std::string& fullName, CFilePtr file) {
    if (!m_before)
        Remember();
    Abandon();
    // Whatever this load ends with, the output plane no longer belongs to the entry named, and
    // File Save would write it under that entry's name.
    m_view.m_pOutputImage.reset();
    m_view.SetPlanesAreCurrent(false);
    auto load = std::make_unique<CImageLoad>(fullName, m_view.EntryName(index), std::move(file),
                                             m_view.ReadAheadSource(), m_newPlane);
    if (!load->ReadHeader())
        return End(*load, nullptr);
    if (!load->IsQuick())
        return Start(std::move(load));
    // Nothing repaints while the window waits: the planes may be decoded into in place.
    CDecodedImage planes = m_view.TakePlanes();
    const bool loaded = load->Run(planes);
    if (!loaded)
        m_view.PutPlanes(std::move(planes));
    End(*load, loaded ? &planes : nullptr);
}

void CImageLoader::Start(std::unique_ptr<CImageLoad> load) {
    auto running = std::make_unique<Running>();
    running->load = std::move(load);
    Running* started = running.get();
    running->task = std::make_unique<CBackgroundTask>(
        [started] { started->loaded = started->load->Run(started->planes); },
        [this, started] { OnThreadDone(started); });
    m_running = std::move(running);
    m_progress = std::make_unique<CTicker>(kProgressInterval, [this] { ShowProgress(); });
}

void CImageLoader::OnThreadDone(const Running* running) {
    if (m_running.get() != running) {
        std::erase_if(m_abandoned, [running](const auto& gone) { return gone.get() == running; });
        return;
    }
    Finish();
}

void CImageLoader::Finish() {
    if (!m_running)
        return;
    const std::unique_ptr<Running> running = std::move(m_running);
    StopProgress();
    running->task->Wait();
    End(*running->load, running->loaded ? &running->planes : nullptr);
}

void CImageLoader::End(const CImageLoad& load, CDecodedImage* image) {
    if (image) {
        m_before.reset();
        m_view.TakeLoadedImage(std::move(*image));
        return;
    }
    Restore(false);
    AfxMessageBox(load.Problem().c_str(), MB_ICONWARNING);
}

void CImageLoader::Cancel() {
    if (!m_running)
        return;
    const std::string fullName = m_running->load->FullName();
    Abandon();
    Restore(true);
    if (CFrameWnd* frame = Frame())
        frame->SetMessageText("已取消打开 " + AfxPathForMessage(fullName));
}

void CImageLoader::Abandon() {
    if (!m_running)
        return;
    m_running->load->Cancel();
    m_abandoned.push_back(std::move(m_running));
    StopProgress();
}

void CImageLoader::Restore(bool cancelled) {
    const std::unique_ptr<Before> before = std::move(m_before);
    if (!before)
        return;
    // A refused step through the list stays a step, as one onto a missing entry does.
    const bool setReplaced = m_view.m_pFileNames.get() != before->table;
    if (!cancelled && !setReplaced)
        return;
    if (setReplaced) {
        if (before->table)
            m_view.UseImageSet(before->set);
        else
            m_view.m_pFileNames.reset();
    }
    m_view.m_nCurrentFile = before->currentFile;
    m_view.m_bColorMode = before->colorMode;
    m_view.m_bGrayMode = before->grayMode;
    m_view.m_bShowResult = before->showResult;
    m_view.m_pResultImage = before->result;
    m_view.Chain().SetShown(before->resultOrigin);
    if (cancelled) {
        m_view.m_pOutputImage = before->output;
        m_view.SetPlanesAreCurrent(before->planesAreCurrent);
        m_view.GetDocument()->SetTitle(before->title.c_str());
    }
    m_view.SetZoom(before->zoom);
    m_view.OnInitialUpdate();
}

void CImageLoader::ShowProgress() {
    CFrameWnd* frame = Frame();
    if (!m_running || frame == nullptr ||
        std::chrono::steady_clock::now() - m_running->started < kQuietLoad)
        return;
    if (!m_idleTextBefore)
        m_idleTextBefore = frame->GetIdleText();
    const int percent = static_cast<int>(100 * m_running->load->Progress());
    frame->SetIdleText("正在打开 " + AfxPathForMessage(m_running->load->FullName()) + "：" +
                       std::to_string(percent) + "%，按 Esc 取消");
}

void CImageLoader::StopProgress() {
    m_progress.reset();
    CFrameWnd* frame = Frame();
    if (frame && m_idleTextBefore)
        frame->SetIdleText(*m_idleTextBefore);
    m_idleTextBefore.reset();
}
