#include "installedstepcommands.h"

#include "afxwin.h"
#include "imagesetpaths.h"
#include "readystephost.h"
#include "resource.h"
#include "runningstep.h"
#include "sealavailability.h"
#include "stepchain.h"
#include "stepvaluesettings.h"
#include "vexlanview.h"

#include <algorithm>

CInstalledStepCommands::CInstalledStepCommands(CVexlanView& view)
    : m_view(view), m_pReadyHost(std::make_unique<CReadyStepHost>()) {}

CInstalledStepCommands::~CInstalledStepCommands() {
    KeepValues();
}

CFrameWnd* CInstalledStepCommands::Frame() const {
    return m_view.GetParentFrame();
}

void CInstalledStepCommands::Watch() {
    m_pFolderWatch = std::make_unique<CFolderWatch>([this] { Update(); });
    m_pFolderWatch->Watch(StepFolders());
    // A step file whose set-up hangs costs the reading a whole time limit: the window shows
    // meanwhile, and what was refused is said after.
    auto found = std::make_shared<CInstalledSteps>();
    m_pFirstReading = std::make_unique<CBackgroundTask>(
        [found, folders = StepFolders()] { *found = FindInstalledSteps(folders); },
        [this, found] {
            const std::unique_ptr<CBackgroundTask> reading = std::move(m_pFirstReading);
            Show(std::move(*found));
        });
}

void CInstalledStepCommands::Update() {
    m_pFirstReading.reset(); // this reading is the newer
    Show(FindInstalledSteps(StepFolders(), &m_installedSteps));
}

void CInstalledStepCommands::Show(CInstalledSteps found) {
    const std::vector<std::string> problemsBefore = m_installedSteps.problems;
    m_installedSteps = std::move(found);
    if (!m_installedSteps.problems.empty() && m_installedSteps.problems != problemsBefore) {
        std::string message;
        for (const std::string& problem : m_installedSteps.problems)
            message += problem + "\n";
        AfxMessageBox(message.c_str(), MB_ICONWARNING);
    }
    std::vector<CMenuCommand> items;
    for (const CInstalledStep& step : m_installedSteps.steps)
        if (items.size() <= ID_LAST_INSTALLED_STEP - ID_FIRST_INSTALLED_STEP)
            items.push_back({static_cast<UINT>(ID_FIRST_INSTALLED_STEP + items.size()),
                             step.menuText,
                             step.prompt,
                             {}});
    if (CFrameWnd* frame = Frame())
        frame->SetAddedMenuItems(ID_COLOR_SEGMENTATION, items);

    // Save in the editor, vexlan-step build, look: the shown result follows its file, with the
    // values kept for the step, on the input it had.
    const std::optional<CInstalledStep>& shown = m_view.Chain().Shown().installed;
    if (!shown || m_view.m_bShowResult != 1 || !m_view.m_pResultImage)
        return;
    const auto replaced =
        std::ranges::find(m_installedSteps.steps, shown->path, &CInstalledStep::path);
    if (replaced != m_installedSteps.steps.end() && replaced->stamp != shown->stamp) {
        EndRunning();
        Start({*replaced, LoadStepValues(replaced->name, replaced->parameters),
               m_view.Chain().ShownStart()});
    }
}

void CInstalledStepCommands::RunCommand(UINT commandId) {
    const std::size_t index = commandId - ID_FIRST_INSTALLED_STEP;
    if (index < m_installedSteps.steps.size())
        Run(m_installedSteps.steps[index]);
}

std::optional<CStepInput> CInstalledStepCommands::SharedStepInput() {
    const std::optional<std::size_t> size = PlaneSize(m_view.m_nWidth, m_view.m_nHeight);
    if (!m_view.m_pGrayImage || !size || *size == 0)
        return std::nullopt;
    // The step's process maps the planes: they move to shared memory once per image, and
    // every run on it shares them without a copy.
    if (!DEBUG_SHARE_BYTES(m_view.m_pGrayImage, *size) ||
        !DEBUG_SHARE_BYTES(m_view.m_pColorImage, 3 * *size))
        return std::nullopt;
    return CStepInput{m_view.m_nWidth, m_view.m_nHeight, m_view.m_pGrayImage.get(),
                      m_view.m_pColorImage.get()};
}

std::optional<CStepInput> CInstalledStepCommands::InputToPrepare() {
    const CResultOrigin& shown = m_view.Chain().Shown();
    const bool runsAgain =
        m_view.m_bShowResult == 1 && shown.installed && !shown.installed->parameters.empty();
    const std::optional<CResultOrigin> next =
        runsAgain ? std::optional(m_view.Chain().ShownStart()) : m_view.Chain().Next();
    if (next && next->input)
        return next->input->Input();
    return SharedStepInput();
}

void CInstalledStepCommands::KeepValues() {
    if (m_valuesToKeep)
        SaveStepValues(m_valuesToKeep->step.name, m_valuesToKeep->step.parameters,
                       m_valuesToKeep->values);
    m_valuesToKeep.reset();
}

void CInstalledStepCommands::PrepareWhileIdle() {
    KeepValues();
    if (m_installedSteps.steps.empty() || m_pRunningStep) {
        m_pReadyHost->Drop();
        return;
    }
    if (const std::optional<CStepInput> input = InputToPrepare())
        m_pReadyHost->Prepare(*input);
}

void CInstalledStepCommands::FinishPreparing() {
    // Longer than any preparation takes, and no longer than a lost host should hold anyone.
    constexpr int kReadyWithinMs = 10000;
    m_pReadyHost->WaitReady(kReadyWithinMs);
}

void CInstalledStepCommands::Run(const CInstalledStep& step) {
    EndRunning();
    std::optional<CResultOrigin> start = m_view.Chain().Next();
    if (!start) {
        AfxMessageBox(FileProblemMessage(m_view.CurrentImageHostPath(), kTooLargeForMemory).c_str(),
                      MB_ICONWARNING);
        return;
    }
    Start({step, LoadStepValues(step.name, step.parameters), std::move(*start)});
}

void CInstalledStepCommands::RunAgain(const std::vector<double>& values) {
    const CResultOrigin& shown = m_view.Chain().Shown();
    if (!shown.installed || m_view.m_bShowResult != 1)
        return;
    m_pRunningStep.reset(); // superseded: its value is no longer wanted
    Start({*shown.installed, values, m_view.Chain().ShownStart()});
}

void CInstalledStepCommands::Start(CStepRun run) {
    const bool onImage = !run.start.input;
    if (onImage &&
        (!m_view.m_pGrayImage || PlaneSize(m_view.m_nWidth, m_view.m_nHeight).value_or(0) == 0))
        return;
    const std::string imageHostPath = m_view.CurrentImageHostPath();
    const std::optional<CStepInput> input =
        onImage ? SharedStepInput() : std::optional(run.start.input->Input());
    if (!input) {
        AfxMessageBox(FileProblemMessage(imageHostPath, kTooLargeForMemory).c_str(),
                      MB_ICONWARNING);
        return;
    }
    TellIfUnsealed();
    auto running =
        std::make_unique<CRunningStep>(std::move(run), m_pReadyHost->Take(*input), imageHostPath,
                                       m_view.PlanesAreCurrent(), [this] { OnEnded(); });
    if (!running->Started()) {
        AfxMessageBox(running->Problem().c_str(), MB_ICONWARNING);
        return;
    }
    m_pRunningStep = std::move(running);
    ShowIdleText();
}

void CInstalledStepCommands::TellIfUnsealed() {
    const std::optional<std::string>& reason = SealUnavailableReason();
    if (!reason || m_toldUnsealed)
        return;
    m_toldUnsealed = true;
    AfxMessageBox(UnsealedStepsMessage(*reason).c_str(), MB_ICONWARNING);
}

std::string CInstalledStepCommands::RunningNotice() const {
    if (!m_pRunningStep)
        return {};
    const CInstalledStep& step = m_pRunningStep->Step();
    return "正在运行步骤“" + step.menuText + "”（" + step.name + "），按 Esc 结束";
}

void CInstalledStepCommands::ShowIdleText() {
    const std::string text = m_pRunningStep ? RunningNotice() : m_view.Chain().Description();
    CFrameWnd* frame = Frame();
    // Set again only when it changes: setting it replaces what the message pane shows.
    if (frame && text != m_idleText)
        frame->SetIdleText(text);
    m_idleText = text;
}

void CInstalledStepCommands::EndRunning() {
    if (!m_pRunningStep)
        return;
    const std::string name = m_pRunningStep->Step().name;
    m_pRunningStep.reset(); // its process is killed
    // The panel goes back to the values of the result that stays.
    m_view.ShowWhatIsPainted();
    if (CFrameWnd* frame = Frame())
        frame->SetMessageText("步骤 " + name + " 已结束，没有结果");
}

void CInstalledStepCommands::OnEnded() {
    const std::optional<CStepEnd> end = m_pRunningStep ? m_pRunningStep->Collect() : std::nullopt;
    if (!end)
        return;
    const std::unique_ptr<CRunningStep> running = std::move(m_pRunningStep);
    // The image and the result before stay: nothing of a failed run is shown or saved.
    if (end->kind != CStepEnd::Kind::Finished) {
        m_view.ShowWhatIsPainted();
        AfxMessageBox(StepEndMessage(running->Step().name, *end, running->ImageHostPath(),
                                     CStepCaller::Program)
                          .c_str(),
                      MB_ICONWARNING);
        return;
    }
    // Written to the settings file while idle: the new result is not kept waiting for it.
    m_valuesToKeep = std::make_unique<CStepRun>(CStepRun{running->Step(), running->Values(), {}});
    m_view.TakeResult(running->TakeResult(), running->PlanesAreCurrent(), running->Origin());
}
