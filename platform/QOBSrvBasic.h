// Platform module QOBSrvBasic: the library only brings it up and takes it down.
#pragma once

void QOBSrvBasic_initialize(int& count);
void QOBSrvBasic_finalize(int& count);
