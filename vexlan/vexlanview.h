// The view: it holds the image workspace, loads images into it and paints it.
#pragma once

#include "afxwin.h"
#include "decodedimage.h"
#include "histogrampanel.h"
#include "imageloader.h"
#include "installedstepcommands.h"
#include "listreadahead.h"
#include "parameterpanel.h"
#include "pointerreadout.h"
#include "resultfilecommands.h"
#include "stepchain.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class CVexlanDoc;
class CReadAhead;
struct CImageSetChoice;
struct CProcessingStep;

class CVexlanView : public CScrollView {
protected:
    CVexlanView();
    DECLARE_DYNCREATE(CVexlanView)

public:
    ~CVexlanView() override;

    CVexlanDoc* GetDocument() const;

    // Loads entry index of the image set into the planes and asks for a repaint: at once for a
    // quick file, else once its decoding on a thread of its own has ended (imageloader.h).
    void LoadImageAt(int index);
    bool IsLoading() const { return m_pLoader->IsLoading(); }
    // Waits for a load in flight and takes its image, as when it ends by itself.
    void FinishLoading() { m_pLoader->Finish(); }
    // Cancels a load in flight: the workspace goes back to what it was before it.
    void CancelLoading() { m_pLoader->Cancel(); }
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
    // File > Open Result, Export Result as PNG and Save Result As (resultfilecommands.h).
    void OnFileOpenResult() { m_pResultFiles->Open(); }
    void OnFileExportPng() { m_pResultFiles->ExportPng(); }
    void OnFileSaveResultAs() { m_pResultFiles->SaveAs(); }
    void OnUpdateResultSaving(CCmdUI* pCmdUI) { pCmdUI->Enable(m_pResultFiles->ShowsResult()); }
    void OnColorSegmentation();
    // Colour > Continue on the result and View > Histogram, two check items (stepchain.h,
    // histogrampanel.h).
    void OnColorContinueOnResult() { m_pChain->ToggleContinuing(); }
    void OnUpdateColorContinueOnResult(CCmdUI* pCmdUI) {
        pCmdUI->SetCheck(m_pChain->IsContinuing());
    }
    void OnViewHistogram() { m_pHistogram->Toggle(); }
    void OnUpdateViewHistogram(CCmdUI* pCmdUI) { pCmdUI->SetCheck(m_pHistogram->IsShown()); }
    // Runs the processing step of this menu command (steps/steptable.cpp) on the loaded
    // image, or in a chain on the result shown: the result plane is painted beside the image
    // and, while it is unchanged, is also the output plane. Nothing changes when there is no
    // input or the plane cannot be allocated.
    void RunStep(UINT commandId);
    void RunStep(const CProcessingStep& step);
    void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
    // The message pane tells the image coordinates and values under the pointer, and the
    // idle text where nothing is painted and when the pointer leaves.
    void OnMouseMove(UINT /*nFlags*/, CPoint point) { m_pReadout->Show(point); }
    void OnMouseLeave() { m_pReadout->Clear(); }

    // The steps installed as files (installedstepcommands.h).
    void WatchInstalledSteps() { m_pStepCommands->Watch(); }
    void UpdateInstalledSteps() { m_pStepCommands->Update(); }
    void OnInstalledStep(UINT commandId) { m_pStepCommands->RunCommand(commandId); }
    bool IsStepRunning() const { return m_pStepCommands->IsRunning(); }
    void EndRunningStep() { m_pStepCommands->EndRunning(); }
    // Esc cancels a load, or else ends a running step.
    void OnEscape();
    void OnUpdateEscape(CCmdUI* pCmdUI) { pCmdUI->Enable(IsLoading() || IsStepRunning()); }
    void PrepareStepHostWhileIdle() { m_pStepCommands->PrepareWhileIdle(); }
    void FinishPreparingStepHost() { m_pStepCommands->FinishPreparing(); }

    // The read-ahead of the list's next entry while the program is idle (listreadahead.h),
    // on unless turned off; FinishReadAhead waits until nothing is being read.
    void ReadAheadWhileIdle() { m_pReadAhead->WhileIdle(); }
    void EnableReadAhead(bool enabled) { m_pReadAhead->Enable(enabled); }
    void FinishReadAhead() { m_pReadAhead->Finish(); }
    std::shared_ptr<CReadAhead> ReadAheadSource() const { return m_pReadAhead->Source(); }

    // Sets the scroll sizes to what OnDraw paints, then asks for a repaint.
    void OnInitialUpdate() override;
    void OnDraw(CDC* pDC) override;
    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    BOOL OnPreparePrinting(CPrintInfo* pInfo) override;
    void OnBeginPrinting(CDC* pDC, CPrintInfo* pInfo) override;
    void OnEndPrinting(CDC* pDC, CPrintInfo* pInfo) override;
    void AssertValid() const override;
    void Dump(CDumpContext& dc) const override;

    // What the view's collaborators read of the workspace and hand back to it.
    const char* EntryName(int index) const;
    // Whether the planes were decoded from the current entry.
    bool PlanesAreCurrent() const { return m_bPlanesAreCurrent; }
    void SetPlanesAreCurrent(bool current) { m_bPlanesAreCurrent = current; }
    // What the gray plane holds: gray levels, palette indices, or nothing of the file's.
    CGrayValues GrayValues() const { return m_grayValues; }
    // Puts a loaded image in place of the planes; a result of another size goes.
    void TakeLoadedImage(CDecodedImage image);
    // Moves the gray and colour planes with their size and depth out of the workspace, and in.
    CDecodedImage TakePlanes();
    void PutPlanes(CDecodedImage image);
    std::string CurrentImageHostPath() const;
    // Shows result, which origin tells the making of, beside the image and, when it was
    // computed from the current entry, makes it the plane that File Save writes.
    void TakeResult(CByteBlock result, bool planesAreCurrent, CResultOrigin origin = {});
    // Brings the panels and the status bar's idle text in line with what is painted.
    void ShowWhatIsPainted();
    // An image set of the stem alone, with no planes: the slot beside the result stays empty.
    bool UseEmptyImageSlot(const std::string& path, const std::string& stem, int width, int height);
    const CInstalledStepCommands& StepCommands() const { return *m_pStepCommands; }
    CStepChain& Chain() const { return *m_pChain; }
    const CHistogramPanel& Histogram() const { return *m_pHistogram; }

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
    // Page Down and Page Up.
    void StepThroughList(int step);
    // Why File Save writes nothing, in the status bar.
    void SayWhyNothingIsSaved();
    void DropResult();
    // The painted extent: the image while a mode shows it, and the result beside it while
    // that is shown; nothing while nothing is painted.
    void UpdateScrollSizes();

    // The bits per pixel of the file the planes were decoded from, and what their gray holds.
    int m_nPlaneBits = 0;
    CGrayValues m_grayValues = CGrayValues::None;

    // Whether the planes were decoded from the current entry; a failed load leaves the image
    // before in place, whose results must not be saved under the new entry's name.
    bool m_bPlanesAreCurrent = false;

    // Last, so that they go before the workspace they read.
    std::unique_ptr<CInstalledStepCommands> m_pStepCommands;
    std::unique_ptr<CResultFileCommands> m_pResultFiles;
    std::unique_ptr<CListReadAhead> m_pReadAhead;
    std::unique_ptr<CPointerReadout> m_pReadout;
    std::unique_ptr<CStepChain> m_pChain;
    std::unique_ptr<CParameterPanel> m_pParameters;
    std::unique_ptr<CHistogramPanel> m_pHistogram;
    std::unique_ptr<CImageLoader> m_pLoader;

    DECLARE_MESSAGE_MAP()
};
