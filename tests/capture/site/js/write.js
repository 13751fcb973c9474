// Writes a paragraph with an image, so that the page shows the script ran.
var p = document.createElement("p");
p.id = "written";
p.textContent = "written by the script";
document.getElementById("out").appendChild(p);
