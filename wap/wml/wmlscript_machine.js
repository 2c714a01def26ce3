// The WMLScript machine: runs compiled WMLScript units (the standard binary
// format, already verified by the program) inside a deck's page.
var WmlScript = (function () {
  'use strict';
  return null;
})();
