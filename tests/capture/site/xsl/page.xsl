<?xml version="1.0" encoding="utf-8"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="html"/>
<xsl:template match="/">
<html><head><title>Catalog</title></head><body><h1>Catalog</h1>
<xsl:for-each select="catalog/item"><p><img src="{@image}" alt="{.}"/> <xsl:value-of select="."/></p></xsl:for-each>
<p><img src="img/gz.png" alt="fixed"/></p>
</body></html>
</xsl:template>
</xsl:stylesheet>
