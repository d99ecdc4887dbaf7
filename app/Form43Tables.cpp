// Table columns: the difference listing and the structure synchronisation.
#include "app/Form43.h"

void TForm43::Button14Click() {}

void TForm43::Button22Click() {}
