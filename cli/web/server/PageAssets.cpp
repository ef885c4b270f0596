#include "PageAssets.h"

#include "PageAssetsData.h" // made from res/web by EmbedPageAssets.cmake

const PageAsset* FindPageAsset(const std::string& path)
{
    const std::string wanted = path == "/" ? "/index.html" : path;
    for (const PageAsset& asset : kPageAssets)
        if (wanted == asset.path)
            return &asset;
    return nullptr;
}
