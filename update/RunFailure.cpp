#include "update/RunFailure.h"

#include <new>

#include "framework/CDBException.h"
#include "framework/CFileException.h"
#include "framework/CWinApp.h"
#include "update/ExitCode.h"

RunFailure DescribeFailure(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const CDBException& db) {
        return {db.m_strError, kExitDatabaseError, true};
    } catch (const CFileException& file) {
        return {file.GetErrorMessage(), kExitAborted, false};
    } catch (const std::bad_alloc&) {
        return {"Not enough memory for the update.", kExitAborted, false};
    } catch (const std::exception& other) {
        return {other.what(), kExitAborted, false};
    } catch (...) {
        return {"The update stopped on an unknown error.", kExitAborted, false};
    }
}

int ReportFailure(const std::exception_ptr& error) {
    const RunFailure failure = DescribeFailure(error);
    AfxMessageBox(failure.m_strMessage);
    return failure.m_nExitCode;
}
