// The usual lazy loader: the real address waits in data-src / data-srcset
// until the image is wanted.
document.querySelectorAll("img.lazyload").forEach(function (img) {
    if (img.dataset.srcset) img.srcset = img.dataset.srcset;
    if (img.dataset.src) img.src = img.dataset.src;
});
