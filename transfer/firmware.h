#pragma once

// Updates the device firmware on COM<port> from the Intel HEX file `file_name`
// through the device's loader. Opens and closes its own port. 0 when every
// record was acknowledged, else a negative code after a message.
int firmware(int port, const char* file_name);
