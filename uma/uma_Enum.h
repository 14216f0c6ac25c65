// Kinds of row and column sets, and of the integers a set mapping answers.
#pragma once

class uma_Enum {
 public:
  enum uma_MapTypeEnum : int {
    uma_MapDof = 0,       // local degrees of freedom
    uma_MapMode = 1,      // modes (a kind of set; never a mapping of its own)
    uma_MapNode = 2,      // node labels
    uma_MapElement = 3,   // element labels
    uma_MapInternal = 4,  // internal member numbers; also the kind of an absent or other set
  };
};
