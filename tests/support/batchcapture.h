// vexlan-batch run in the test's process, with what it printed kept for the checks.
#pragma once

#include "batchcommand.h"

#include <sstream>
#include <string>
#include <vector>

class BatchCapture {
protected:
    int Batch(const std::vector<std::string>& args) {
        std::ostringstream out, err;
        const int status = RunBatchCommand(args, out, err);
        m_out = out.str();
        m_err = err.str();
        return status;
    }

    std::string m_out;
    std::string m_err;
};
