// Tab switching: a tab cell carries command="show" and subject=<tab id>; its table has the
// id "id_" + subject. Show that table and hide every other tab table.
function docommand(cell) {
  if (cell.getAttribute("command") !== "show") return;
  var shown = "id_" + cell.getAttribute("subject");
  var tables = document.querySelectorAll("table[id^='id_']");
  for (var i = 0; i < tables.length; i++) {
    if (tables[i].id === shown) {
      tables[i].classList.remove("hidden");
    } else {
      tables[i].classList.add("hidden");
    }
  }
}

// Cells with an action send their key value to the matching input route.
var ROUTES = {
  keypress: "/KeyboardKey",
  buttonspress: "/ButtonsPress",
  buttonsdown: "/ButtonsDown",
  buttonsup: "/ButtonsUp"
};

document.addEventListener("click", function (event) {
  var cell = event.target.closest("td[action]");
  if (!cell) return;
  var route = ROUTES[cell.getAttribute("action")];
  if (!route) return;
  var request = new XMLHttpRequest();
  request.open("GET", route + "?str=" + encodeURIComponent(cell.getAttribute("key") || ""));
  request.send();
});
