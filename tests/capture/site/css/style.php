.t { background: url(../img/teal.png); }
