// payroll: the payroll program.  Takes no arguments; the folder of the
// executable holds "GZ.udb", "gz.ini" and the output files.
#include <QApplication>

#include "app/PayrollProgram.h"
#include "platform/core/Resources.h"
#include "resources/PayrollResources.h"

int main(int argc, char** argv) {
  QApplication qtApp(argc, argv);
  RegisterResources(&PayrollEmbeddedResources());
  return payroll::RunPayroll();
}
