// The update run: the Instructions dialog, then the four stages under a
// wait cursor, one message for the outcome.

#include "InstructionsDlg.h"
#include "UpdateMessages.h"
#include "UpdateRun.h"
#include "UpdaterDlg.h"

void CUpdaterDlg::OnUpdate()
{
    CInstructionsDlg instructions;
    if (instructions.DoModal() != IDOK)
        return;

    BeginWaitCursor();
    const int failedStage = RunUpdateStages(*m_pLink);
    RestoreWaitCursor();
    if (failedStage != 0) {
        MessageBox(kStageFailureMessages[failedStage], kErrorCaption, MB_ICONHAND | MB_OK);
    } else {
        MessageBox(kSuccessMessage, kSuccessCaption, MB_ICONEXCLAMATION | MB_OK);
        RefreshVersion();
    }
    EndWaitCursor();
}
