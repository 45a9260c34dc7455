// The view: it holds the image workspace, loads images into it and paints it.
#pragma once

#include "afxwin.h"
#include "decodedimage.h"
#include "installedsteps.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class CVexlanDoc;
class CImageDecoder;
class CReadAhead;
struct CImageSetChoice;
struct CProcessingStep;
class CRunningStep;
class CReadyStepHost;

class CVexlanView : public CScrollView {
protected:
    CVexlanView();
    DECLARE_DYNCREATE(CVexlanView)

public:
    ~CVexlanView() override;

    CVexlanDoc* GetDocument() const;

    // Loads entry index of the image set into the planes and asks for a repaint.
    void LoadImageAt(int index);
    // Makes the one file name in directory the image set, at entry 0. Both must fit their
    // buffers: a directory of at most 119 characters, a name of at most 99.
    void UseSingleFile(const std::string& directory, const std::string& name);
    // Makes choice the image set, at entry 0; false, with the set unchanged, when its name table
    // cannot be allocated.
    bool UseImageSet(const CImageSetChoice& choice);

    // Takes files dropped from a file manager.
    int OnCreate(LPCREATESTRUCT lpCreateStruct);
    void OnFileOpen();
    // A file dropped on the window is opened as one chosen in File Open's dialog; of several,
    // the first.
    void OnDropFiles(const std::vector<std::string>& systemPaths);
    void OnFileSave();
    // File > Open Result: a saved RAW result file becomes the result plane, beside the image of
    // its stem while that is shown at the same size, else beside an empty image slot; File Save
    // then writes the same bytes. A file that cannot be read is reported and changes nothing.
    void OnFileOpenResult();
    void OpenResultFile(const std::string& path);
    // File > Export Result as PNG: the result shown, as an 8-bit gray PNG file.
    void OnFileExportPng();
    void OnUpdateFileExportPng(CCmdUI* pCmdUI);
    void OnColorSegmentation();
    // Runs the processing step of this menu command (steps/steptable.cpp) on the loaded
    // image: the result plane is painted beside the image and, while it is unchanged, is
    // also the output plane. Nothing changes when no image is loaded or the plane cannot be
    // allocated.
    void RunStep(UINT commandId);
    void RunStep(const CProcessingStep& step);
    void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
    // The message pane tells the image coordinates and values under the pointer, and the
    // idle text where nothing is painted and when the pointer leaves.
    void OnMouseMove(UINT nFlags, CPoint point);
    void OnMouseLeave();
    // View > Zoom: in and out by powers of two about the window's middle, 1, the whole canvas.
    void OnViewZoomIn();
    void OnViewZoomOut();
    void OnViewZoomActual();
    void OnViewZoomFit();
    // 放大 and 缩小 are grayed at the ends of the zoom range, where they would do nothing.
    void OnUpdateViewZoomIn(CCmdUI* pCmdUI);
    void OnUpdateViewZoomOut(CCmdUI* pCmdUI);

    // The steps installed as files: listed under 颜色 below 颜色分割, followed live. When the
    // file of the step whose result is shown was replaced, it runs again.
    void WatchInstalledSteps();
    void UpdateInstalledSteps();
    const CInstalledSteps& InstalledSteps() const { return m_installedSteps; }
    void OnInstalledStep(UINT commandId);
    // Starts an installed step in its own process and returns: the window goes on, the
    // status bar names the step, Esc ends it. Its result is taken as RunStep takes one.
    void RunInstalledStep(const CInstalledStep& step);
    bool IsStepRunning() const { return m_pRunningStep != nullptr; }
    void EndRunningStep();
    void OnUpdateEndRunningStep(CCmdUI* pCmdUI);
    // While the program is idle and steps are installed: starts the process of the next step
    // with the image's planes in place, so that choosing a step costs the step alone.
    void PrepareStepHostWhileIdle();

    // While the program is idle: reads the list entry after the current one (before it, after
    // a Page Up) ahead, so that the step to it need not wait for the file.
    void ReadAheadWhileIdle();
    // Whether idle time reads ahead; on unless turned off.
    void EnableReadAhead(bool enabled);
    // Waits until nothing is being read ahead.
    void FinishReadAhead();

    // Sets the scroll sizes to what OnDraw paints, then asks for a repaint.
    void OnInitialUpdate() override;
    void OnDraw(CDC* pDC) override;
    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    BOOL OnPreparePrinting(CPrintInfo* pInfo) override;
    void OnBeginPrinting(CDC* pDC, CPrintInfo* pInfo) override;
    void OnEndPrinting(CDC* pDC, CPrintInfo* pInfo) override;
    void AssertValid() const override;
    void Dump(CDumpContext& dc) const override;

    // The image workspace. Planes are top-down rows without gaps: gray, result and output
    // one byte per pixel; colour three bytes (blue, green, red) per pixel. The output plane
    // is the result plane itself while that is unchanged since its step.
    CByteBlock m_pGrayImage;
    CSharedByteBlock m_pOutputImage;
    CByteBlock m_pColorImage;
    CSharedByteBlock m_pResultImage;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nCurrentFile = 0;
    int m_nFileCount = 0;
    char m_szDirectory[120] = {};
    CCharBlock m_pFileNames; // 100-character slots, entry i at 100 * i
    int m_bColorMode = 0;
    int m_bGrayMode = 0;
    int m_bShowResult = 0;

    static constexpr int nameSlotSize = 100;

private:
    // What File Open does before the dialog: nothing is painted until a file is opened.
    void ClearDisplay();
    // Opens the chosen file by its kind and loads its first image.
    void OpenChosenFile(const std::string& SFName);
    // Replaces the image set with the chosen file's, or shows why it cannot and keeps it.
    bool OpenImageSet(const std::string& path);
    void DecodeInto(const CImageDecoder& decoder, std::FILE* file, const char* fullName);
    // The image read ahead from fullName, if file is still the file that was read.
    std::optional<CDecodedImage> TakeReadAhead(const std::string& fullName, std::FILE* file);
    // Moves the gray and colour planes with their size and depth out of the workspace, and in.
    CDecodedImage TakePlanes();
    void PutPlanes(CDecodedImage image);
    const char* EntryName(int index) const;
    void DropResult();
    // Whether the image shown is the current entry's, of the stem and size of a result file.
    bool ShowsImageOf(const std::string& resultName, int width, int height) const;
    // An image set of the stem alone, with no planes: the slot beside the result stays empty.
    bool UseEmptyImageSlot(const std::string& path, const std::string& stem, int width, int height);
    // The painted extent: the image while a mode shows it, and the result beside it while
    // that is shown; nothing while nothing is painted.
    void UpdateScrollSizes();

    void OnInstalledStepEnded();
    // The planes as a step gets them, once moved to memory that its process can map.
    std::optional<CStepInput> SharedStepInput();
    // What the status bar says while an installed step runs; empty while none does.
    std::string RunningNotice() const;
    // Shows result beside the image and, when it was computed from the current entry, makes
    // it the plane that File Save writes.
    void TakeResult(CByteBlock result, bool planesAreCurrent);
    std::string CurrentImageHostPath() const;

    CInstalledSteps m_installedSteps;
    std::unique_ptr<CFolderWatch> m_pStepFolderWatch;
    std::unique_ptr<CRunningStep> m_pRunningStep;
    std::unique_ptr<CReadyStepHost> m_pReadyStepHost;
    // The installed step whose result is shown, as its file was when it ran.
    std::optional<CInstalledStep> m_shownInstalledStep;

    // The bits per pixel of the file the planes were decoded from.
    int m_nPlaneBits = 0;

    // Whether the planes were decoded from the current entry; a failed load leaves the image
    // before in place, whose results must not be saved under the new entry's name.
    bool m_bPlanesAreCurrent = false;

    // Created with the first read ahead; dropped by File Open.
    std::unique_ptr<CReadAhead> m_pReadAhead;
    bool m_bReadAhead = true;
    // +1 reads the entry after the current one ahead, -1 the one before.
    int m_nReadAheadStep = 1;

    DECLARE_MESSAGE_MAP()
};
