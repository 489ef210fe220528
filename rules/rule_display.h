#pragma once

// Prints the implicit rule and the rule table ("drules"), one line per rule,
// decoding each record back into readable arguments.
void rules_display();

// The command word that names a rule type: the first entry of the command
// word table with that type ("destin" for '5', not "dst"); "?" for none.
const char* rule_type_name(char rule_type);
