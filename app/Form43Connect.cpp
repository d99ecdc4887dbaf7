// Connecting, listing the databases and the backup.
#include "app/Form43.h"

void TForm43::Button1Click() {}

void TForm43::Button12Click() {}

void TForm43::Button7Click() {}
