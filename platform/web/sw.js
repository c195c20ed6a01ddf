// sw.js -- keeps the whole site after the first visit, so that later visits play with no network: one cache per build, filled whole before it serves, the older builds' caches dropped once it takes over
'use strict';
// Written by the build (site_worker.cmake): a hash of every file of the site, and their names.
const build = '@TALUMEN_SITE_HASH@';
const files = [@TALUMEN_SITE_FILES@];
const prefix = 'talumen-';
const cacheName = prefix + build;

// Every file from the network, past the browser's own cache, or none: a build whose files do not
// all come leaves no cache, and the one before goes on serving.
self.addEventListener('install', event => {
  event.waitUntil(caches.open(cacheName)
    .then(cache => cache.addAll(files.map(name => new Request(name, {cache: 'reload'}))))
    .catch(error => caches.delete(cacheName).then(() => { throw error; })));
});

// This build takes over only once no page of the one before is open (the browser waits for that),
// so that no page ever mixes the files of two builds; then the older caches go.
self.addEventListener('activate', event => {
  event.waitUntil(caches.keys().then(names => Promise.all(
    names.filter(name => name.startsWith(prefix) && name !== cacheName).map(name => caches.delete(name)))));
});

// The site's files from this build's cache; the page itself whatever its query (?t=, ?at=,
// ?bench). Anything else goes to the network.
self.addEventListener('fetch', event => {
  const request = event.request;
  const url = new URL(request.url);
  if (request.method !== 'GET' || url.origin !== self.location.origin) return;
  const scope = new URL(self.registration.scope);
  const path = url.pathname === scope.pathname ? scope.pathname + 'index.html' : url.pathname;
  event.respondWith(caches.open(cacheName)
    .then(cache => cache.match(url.origin + path))
    .then(kept => kept || fetch(request)));
});
