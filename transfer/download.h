#pragma once

// Sends conf_record and the first rule_count records of rule_table to the
// device on the open port, each part announced by a command packet: "conf"
// and the record, "rules" and the rules, then "-cestfini-". 0, or -1..-5
// after a message.
int dwn_download();
