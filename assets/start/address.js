// The start page's address box: the typed address opens in this window, a
// bare host as http://host/, as in the Open dialog (Ctrl+L).
(function () {
  var form = document.getElementById('go');
  if (!form) {
    return;
  }
  form.addEventListener('submit', function (event) {
    event.preventDefault();
    var text = document.getElementById('address').value.trim();
    if (!text) {
      return;
    }
    if (!/^(https?|tessaly):/i.test(text)) {
      text = 'http://' + text;
    }
    var url;
    try {
      url = new URL(text);
    } catch (e) {
      return;
    }
    if (!/^(https?|tessaly):$/.test(url.protocol)) {
      return;
    }
    window.location.href = url.href;
  });
})();
