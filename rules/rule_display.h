#pragma once

// Prints the implicit rule and the rule table ("drules").
void rules_display();
