// Views and stored procedures: the difference listing and the synchronisation.
#include "app/Form43.h"

void TForm43::Button9Click() {}

void TForm43::Button10Click() {}
