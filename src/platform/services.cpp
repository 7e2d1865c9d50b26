#include "services.h"

Services::~Services() = default;

Services::PrinterSetup Services::setUpPrinter()
{
    return printerSetup() ? PrinterSetup::Chosen : PrinterSetup::Cancelled;
}
