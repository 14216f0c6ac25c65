// Platform module QOBBasShared: the library only brings it up and takes it down.
#pragma once

void QOBBasShared_initialize(int& count);
void QOBBasShared_finalize(int& count);
