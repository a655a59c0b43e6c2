// ESqlQueryError: the query engine's exception for syntax errors and for
// parse, planning and execution errors (message only).  Errors of building
// and evaluating expressions are EExpression (Expression.h).
#pragma once

#include "platform/core/Exceptions.h"

PAYROLL_DECLARE_EXCEPTION(ESqlQueryError, Exception)
